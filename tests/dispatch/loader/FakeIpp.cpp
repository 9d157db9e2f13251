// SPDX-License-Identifier: MIT
// A stand-in for the IPP signal and image libraries, built twice (as
// libipps.so and libippi.so) for the loader test. It exports a few names
// under their IPP spelling with recognisable results: every written value is
// 42. The 32-bit IIR family is exported only in part, and the one-sample FIR
// without its creators, so those groups must stay portable.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) int ippsSqr_32f_I(float* pSrcDst, int len)
{
    for (int i = 0; i < len; ++i)
        pSrcDst[i] = 42.0f;
    return 0;
}

__attribute__((visibility("default"))) int ippsVectorRamp_16s(int16_t* pDst, int len, float, float)
{
    for (int i = 0; i < len; ++i)
        pDst[i] = 42;
    return 0;
}

__attribute__((visibility("default"))) int ippiConvert_8s32f_C1R(const int8_t*, int, float* pDst, int, int64_t)
{
    pDst[0] = 42.0f;
    return 0;
}

__attribute__((visibility("default"))) int ippsIIR_32f_I(float*, int, void*)
{
    return 0;
}

__attribute__((visibility("default"))) int ippsIIRFree_32f(void*)
{
    return 0;
}

__attribute__((visibility("default"))) int ippsFIROne_64f(double, double* pDstVal, void*)
{
    *pDstVal = 42.0;
    return 0;
}

} // extern "C"
