// SPDX-License-Identifier: MIT
// Runtime choice between the portable build of a kernel body and the same
// body compiled for AVX2, as the block FIR does. Both builds do the same IEEE
// operations in the same order (AVX2 implies no fused multiply-add), so
// their results are bit-identical.
#pragma once

#include <atomic>

namespace Sonorix::SNKernelDetail {

// Whether the CPU has AVX2 and SNUseVectorKernels has not turned it off.
bool VectorKernelsEnabled();

// ABody and everything it calls, inlined into one AVX2 function.
template <class F>
__attribute__((target("avx2"), flatten)) auto RunAVX2(const F& ABody)
{
    return ABody();
}

template <class F>
auto RunSelected(const F& ABody)
{
    return VectorKernelsEnabled() ? RunAVX2(ABody) : ABody();
}

} // namespace Sonorix::SNKernelDetail
