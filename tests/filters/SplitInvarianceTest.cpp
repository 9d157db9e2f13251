// SPDX-License-Identifier: MIT
// Every single-stream filter, set away from its pass-through defaults, gives
// the same samples whether a signal comes in one buffer or cut at random,
// at every width; the output also differs from the input (it did filter).
#include "FilterTestChain.h"
#include "SNAmplifier.h"
#include "SNBandPass.h"
#include "SNBandStop.h"
#include "SNCombFilter.h"
#include "SNDelayLine.h"
#include "SNDynamicRangeCompressor.h"
#include "SNGraphicEqualizer.h"
#include "SNHighPass.h"
#include "SNLowPass.h"
#include "SNRemoveDC.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TCase {
    std::string Name;
    std::function<TSamples(uint32_t ABits, const TSamples& AIn, const std::vector<size_t>& ASplit)> Run;
};

template <class TFilter>
TCase Make(std::string AName, std::function<void(TFilter&)> ASetUp)
{
    return {AName, [ASetUp](uint32_t ABits, const TSamples& AIn, const std::vector<size_t>& ASplit) {
                TFilterChain<TFilter> LChain;
                ASetUp(LChain.Filter);
                LChain.Start(48000, ABits, 2);
                return LChain.SendSplit(AIn, ASplit);
            }};
}

template <class TFilter>
std::function<void(TFilter&)> Design(TDGFilterType AType, int32_t AOrder)
{
    return [=](TFilter& F) {
        F.SetFilterType(AType);
        F.SetOrder(AOrder);
        F.SetIIRFilterType(iirButterworth);
    };
}

std::vector<TCase> Cases()
{
    return {
        Make<TSNRemoveDC>("RemoveDC", [](auto&) {}),
        Make<TSNAmplifier>("Amplifier", [](auto& F) { F.SetCoefficient(1.7); }),
        Make<TSNCombFilter>("CombForward", [](auto& F) { F.SetDelay(333), F.SetCoefficient(0.9); }),
        Make<TSNCombFilter>("CombBack",
                            [](auto& F) { F.SetDelay(7), F.SetCoefficient(1.3), F.SetFeed(cfBack); }),
        Make<TSNDelayLine>(
            "DelayLine",
            [](auto& F) { F.GetDelayValue().SetMode(dmSamples), F.GetDelayValue().SetValue(257); }),
        Make<TSNLowPass>("LowPassFIR", Design<TSNLowPass>(ftFIR, 101)),
        Make<TSNHighPass>("HighPassIIR", Design<TSNHighPass>(ftIIR, 4)),
        Make<TSNBandPass>("BandPassBiquad", Design<TSNBandPass>(ftBiquadIIR, 5)),
        Make<TSNBandStop>("BandStopFIR", Design<TSNBandStop>(ftFIR, 61)),
        Make<TSNDynamicRangeCompressor>("Compressor",
                                        [](auto& F) {
                                            F.SetThreshold(-20), F.SetCompressRatio(7), F.SetGain(6);
                                            F.SetMixCoefficient(0.75), F.SetAttack(1), F.SetRelease(60);
                                        }),
        Make<TSNGraphicEqualizer>("Equalizer",
                                  [](auto& F) {
                                      F.GetChannels().SetCount(10);
                                      F.GetChannels()[4].SetCoefficient(0.5);
                                      F.GetChannels()[8].SetCoefficient(1.8);
                                  }),
    };
}

} // namespace

TEST(SplitInvarianceTest, EveryFilterGivesTheSameOutputInAnySplitAtEveryWidth)
{
    for (const uint32_t LBits : {8u, 16u, 24u, 32u})
        for (const TCase& LCase : Cases()) {
            SCOPED_TRACE(LCase.Name + " " + std::to_string(LBits) + " bits");
            const TSamples LIn = RandomSamples(LBits, 2, 3000, LBits, 0.6);
            const TSamples LWhole = LCase.Run(LBits, LIn, {3000});
            ASSERT_EQ(LWhole.size(), LIn.size());
            EXPECT_NE(LWhole, LIn);
            for (uint32_t LSeed : {1u, 2u})
                ASSERT_EQ(LCase.Run(LBits, LIn, RandomSplit(3000, LSeed, LSeed == 1 ? 9 : 1500)), LWhole)
                    << "split " << LSeed;
        }
}
