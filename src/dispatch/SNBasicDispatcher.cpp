// SPDX-License-Identifier: MIT
#include "SNBasicDispatcher.h"

#include "SNVectorSelect.h"

namespace Sonorix {

using namespace SNKernelDetail;

IppStatus ippiConvert_8u32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi)
{
    return ConvertToFloat<TPlainSample<Ipp8u>>(pSrc, srcStep, pDst, dstStep, roi);
}

IppStatus ippiConvert_32f8u_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep, IppiSize roi,
                                IppRoundMode roundMode)
{
    return ConvertFromFloat<TPlainSample<Ipp8u>, 0, 255>(pSrc, srcStep, pDst, dstStep, roi, roundMode);
}

IppStatus ippiAdd_16s_C1IRSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roi,
                              int32_t scaleFactor)
{
    return RunSelected([&] { return AddInPlace<TPlainSample<Ipp16s>, INT16_MIN, INT16_MAX>(pSrc, srcStep, pSrcDst, srcDstStep, roi,
                                                                  scaleFactor); });
}

IppStatus ippiSet_8u_C1R(Ipp8u value, Ipp8u* pDst, int32_t dstStep, IppiSize roi)
{
    return RunSelected([&] { return SetValue<TPlainSample<Ipp8u>>(value, pDst, dstStep, roi); });
}

IppStatus ippiSet_16s_C1R(Ipp16s value, Ipp16s* pDst, int32_t dstStep, IppiSize roi)
{
    return RunSelected([&] { return SetValue<TPlainSample<Ipp16s>>(value, pDst, dstStep, roi); });
}

IppStatus ippiSet_32s_C1R(Ipp32s value, Ipp32s* pDst, int32_t dstStep, IppiSize roi)
{
    return RunSelected([&] { return SetValue<TPlainSample<Ipp32s>>(value, pDst, dstStep, roi); });
}

} // namespace Sonorix
