// SPDX-License-Identifier: MIT
// Runtime choice between the portable build of a kernel body and the same
// body compiled for AVX2 or AVX-512, as the block FIR does. All builds do the
// same IEEE operations in the same order (neither target implies fused
// multiply-add), so their results are bit-identical.
#pragma once

#include <atomic>

namespace Sonorix::SNKernelDetail {

// Whether the CPU has AVX2 and SNUseVectorKernels has not turned it off.
bool VectorKernelsEnabled();
// Whether, besides, it has AVX-512 F, BW, DQ and VL (saturating narrowing
// and double-to-integer conversions that AVX2 must emulate).
bool WideVectorKernelsEnabled();

// ABody and everything it calls, inlined into one AVX2 function.
template <class F>
__attribute__((target("avx2"), flatten)) auto RunAVX2(const F& ABody)
{
    return ABody();
}

template <class F>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"), flatten)) auto RunAVX512(const F& ABody)
{
    return ABody();
}

template <class F>
auto RunSelected(const F& ABody)
{
    if (!VectorKernelsEnabled())
        return ABody();
    return WideVectorKernelsEnabled() ? RunAVX512(ABody) : RunAVX2(ABody);
}

} // namespace Sonorix::SNKernelDetail
