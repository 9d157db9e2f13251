// SPDX-License-Identifier: MIT
// Shared helper of the kernel tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace Sonorix::Test {

// ACount values drawn uniformly from [ALow, AHigh), the same for a seed.
template <class T = double>
std::vector<T> RandomValues(size_t ACount, uint32_t ASeed, T ALow = -1, T AHigh = 1)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_real_distribution<T> LDistribution(ALow, AHigh);
    std::vector<T> LValues(ACount);
    for (T& v : LValues)
        v = LDistribution(LRandom);
    return LValues;
}

} // namespace Sonorix::Test
