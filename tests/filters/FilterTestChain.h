// SPDX-License-Identifier: MIT
// Driving a single-stream filter in tests: a feeding pin, the filter and a
// collector, sample vectors in and out, random buffer splits.
#pragma once

#include "TestComponents.h"
#include "TestSamples.h"

#include <cstdint>
#include <random>
#include <vector>

namespace Sonorix::Test {

// Interleaved stored values (0..255 for 8 bits, signed otherwise).
using TSamples = std::vector<int32_t>;

inline ISNAudioBufferPtr MakeBuffer(uint32_t ARate, uint32_t ABits, uint32_t AChannels, const TSamples& AValues,
                                    size_t AFirstFrame, size_t AFrames)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(ARate, ABits, AChannels, static_cast<uint32_t>(AFrames));
    for (size_t f = 0; f < AFrames; ++f)
        for (uint32_t c = 0; c < AChannels; ++c)
            PutSample(*LBuffer, static_cast<uint32_t>(f), c, AValues[(AFirstFrame + f) * AChannels + c]);
    return LBuffer;
}

inline void AppendSamples(TSamples& ATarget, const ISNAudioBuffer& ABuffer)
{
    for (uint32_t f = 0; f < ABuffer.GetSize(); ++f)
        for (uint32_t c = 0; c < ABuffer.GetChannels(); ++c)
            ATarget.push_back(ABuffer.GetItem(f, c));
}

// The smallest and largest stored value of a width.
inline int64_t LowestStored(uint32_t ABits)
{
    return ABits == 8 ? 0 : -(int64_t{1} << (ABits - 1));
}
inline int64_t HighestStored(uint32_t ABits)
{
    return ABits == 8 ? 255 : (int64_t{1} << (ABits - 1)) - 1;
}

// AFrames x AChannels random stored values within AFraction of full scale.
inline TSamples RandomSamples(uint32_t ABits, uint32_t AChannels, size_t AFrames, uint32_t ASeed,
                              double AFraction = 1.0)
{
    std::mt19937 LRandom(ASeed);
    const double LMid = ABits == 8 ? 128.0 : 0.0;
    const double LHalf = (double(HighestStored(ABits)) - double(LowestStored(ABits))) / 2.0 * AFraction;
    std::uniform_real_distribution<double> LDistribution(LMid - LHalf, LMid + LHalf);
    TSamples LValues(AFrames * AChannels);
    for (int32_t& v : LValues)
        v = static_cast<int32_t>(std::clamp<double>(std::round(LDistribution(LRandom)), double(LowestStored(ABits)),
                                                    double(HighestStored(ABits))));
    return LValues;
}

// Buffer sizes that add up to AFrames: random between 1 and AMaxSize.
inline std::vector<size_t> RandomSplit(size_t AFrames, uint32_t ASeed, size_t AMaxSize = 700)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_int_distribution<size_t> LSize(1, AMaxSize);
    std::vector<size_t> LSizes;
    for (size_t LLeft = AFrames; LLeft > 0;) {
        const size_t LNext = std::min(LLeft, LSize(LRandom));
        LSizes.push_back(LNext);
        LLeft -= LNext;
    }
    return LSizes;
}

template <class TFilter>
struct TFilterChain {
    TTestCollector Upstream;
    TSNPNAudioSourcePin Feed{&Upstream, "Feed"};
    TFilter Filter;
    TTestCollector Collector;
    uint32_t Rate = 44100, Bits = 16, Channels = 1;

    TFilterChain()
    {
        Feed.Connect(Filter.GetInputPin());
        Filter.GetOutputPin().Connect(Collector.GetInputPin());
    }
    void Start(uint32_t ARate, uint32_t ABits, uint32_t AChannels)
    {
        Rate = ARate;
        Bits = ABits;
        Channels = AChannels;
        Feed.SendStart(MakeWaveFormat(ARate, ABits, AChannels));
    }
    // Sends AValues (whole frames) as one buffer and returns what came out.
    TSamples Send(const TSamples& AValues) { return SendSplit(AValues, {AValues.size() / Channels}); }
    // Sends AValues cut into buffers of ASizes frames; returns the output.
    TSamples SendSplit(const TSamples& AValues, const std::vector<size_t>& ASizes)
    {
        const size_t LBefore = Collector.Buffers().size();
        size_t LFrame = 0;
        for (size_t LSize : ASizes) {
            Feed.SendBuffer(MakeBuffer(Rate, Bits, Channels, AValues, LFrame, LSize));
            LFrame += LSize;
        }
        TSamples LOut;
        const auto LBuffers = Collector.Buffers();
        for (size_t i = LBefore; i < LBuffers.size(); ++i)
            AppendSamples(LOut, *LBuffers[i]);
        return LOut;
    }
};

} // namespace Sonorix::Test
