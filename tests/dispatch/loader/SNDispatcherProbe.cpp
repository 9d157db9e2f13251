// SPDX-License-Identifier: MIT
// Prints how the vector-primitive table of this process was bound, one line
// per entry ("<name> portable" or "<name> bound"), then the results of calling
// the entries that the loader test's stand-in library exports.
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"

#include <cstdio>

int main()
{
    using namespace Sonorix;
    static const char* const CNames[] = {
        "ippsAdd_16s_I", "ippsConjCcs_64fc_I", "ippsFIROne_64f", "ippsIIROne_64f", "ippsRandUniform_Direct_16s",
        "ippsRandGauss_Direct_16s", "ippsThreshold_LTValGTVal_16s_I", "ippsTone_Direct_16s",
        "ippsTriangle_Direct_16s", "ippsSum_32f", "ippsSqr_32f_I", "ippiConvert_16s32f_C1R", "ippiConvert_8s32f_C1R",
        "ippiConvert_32f16s_C1R", "ippiConvert_32f8s_C1R", "ippsIIRFree_32f", "ippsIIRInitAlloc_32f", "ippsIIR_32f",
        "ippsIIR_32f_I", "ippsMulC_32f", "ippsDivC_32f_I", "ippsIIRInit_BiQuad_32f",
        "ippsIIRGetStateSize_BiQuad_32f", "ippsSampleDown_32f", "ippsPeriodicityLSPE_32f",
        "ippsCompensateOffset_32f_I"};
    SNDispatcherInit();
    for (const char* LName : CNames)
        std::printf("%s %s\n", LName, SNDispatcherIsPortable(LName) ? "portable" : "bound");
    std::printf("ippsVectorRamp_16s %s\n", ippsVectorRamp_16s == _px_ippsVectorRamp_16s ? "portable" : "bound");

    float LSquare = 3.0f;
    ippsSqr_32f_I(&LSquare, 1);
    Ipp16s LRamp = 0;
    ippsVectorRamp_16s(&LRamp, 1, 5.0f, 0.0f);
    const Ipp8s LByte = 3;
    float LConverted = 0.0f;
    ippiConvert_8s32f_C1R(&LByte, 1, &LConverted, 4, {1, 1});
    std::printf("call ippsSqr_32f_I %g\ncall ippsVectorRamp_16s %d\ncall ippiConvert_8s32f_C1R %g\n", LSquare,
                int{LRamp}, LConverted);
    return 0;
}
