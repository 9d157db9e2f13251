// SPDX-License-Identifier: MIT
// Region primitives of IPPExtraFunctions and SNBasicDispatcher, per width:
// hand-worked rows at the limits and ties, several rows with padding between
// them that must stay untouched, and the error checks.
#include "DGSignalDispatcher.h"
#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"
#include "SNDispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace Sonorix {
namespace {

using ::testing::ElementsAre;

constexpr uint8_t CSentinel = 0xA5;
constexpr size_t CGuardBytes = 16;
// Seven samples in three rows: every row's start comes from the step.
constexpr IppiSize CRoi{7, 3};

// Little-endian integers of any byte width, written independently of the
// kernels' own 24-bit helpers.
int64_t LoadLE(const uint8_t* AData, int ABytes, bool ASigned)
{
    uint64_t LRaw = 0;
    for (int b = 0; b < ABytes; ++b)
        LRaw |= uint64_t{AData[b]} << (8 * b);
    const uint64_t LTop = uint64_t{1} << (8 * ABytes - 1);
    if (ASigned && (LRaw & LTop) != 0)
        return static_cast<int64_t>(LRaw) - static_cast<int64_t>(LTop << 1);
    return static_cast<int64_t>(LRaw);
}

void StoreLE(uint8_t* AData, int ABytes, int64_t AValue)
{
    for (int b = 0; b < ABytes; ++b)
        AData[b] = static_cast<uint8_t>(static_cast<uint64_t>(AValue) >> (8 * b));
}

// A region of roi.height rows, each roi.width samples of ABytes followed by
// APadding sentinel bytes, and a guard after the last row. Rows of samples
// wider than a byte start at multiples of their width, as callers' do.
class TRegion {
public:
    TRegion(int ABytes, IppiSize ARoi, int APadding)
        : FBytes(ABytes), FRoi(ARoi), FStep(ARoi.width * ABytes + APadding),
          FMemory(size_t(FStep) * ARoi.height + CGuardBytes, CSentinel)
    {
    }

    int Step() const { return FStep; }
    uint8_t* Data() { return FMemory.data(); }
    uint8_t* At(int y, int x) { return FMemory.data() + size_t(y) * FStep + size_t(x) * FBytes; }
    int64_t Get(int y, int x, bool ASigned) { return LoadLE(At(y, x), FBytes, ASigned); }
    void Put(int y, int x, int64_t AValue) { StoreLE(At(y, x), FBytes, AValue); }
    const std::vector<uint8_t>& Bytes() const { return FMemory; }
    // Every sample from AValue(y, x).
    template <class FValue>
    void Fill(FValue AValue)
    {
        for (int y = 0; y < FRoi.height; ++y)
            for (int x = 0; x < FRoi.width; ++x)
                Put(y, x, AValue(y, x));
    }
    // True when every sample is AValue(y, x) and every other byte still holds
    // the sentinel.
    template <class FValue>
    bool Holds(FValue AValue, bool ASigned)
    {
        for (int y = 0; y < FRoi.height; ++y)
            for (int x = 0; x < FRoi.width; ++x)
                if (Get(y, x, ASigned) != AValue(y, x)) {
                    ADD_FAILURE() << "row " << y << ", sample " << x << ": " << Get(y, x, ASigned);
                    return false;
                }
        for (size_t i = 0; i < FMemory.size(); ++i) {
            const size_t LRow = i / FStep;
            const bool LInSample = LRow < size_t(FRoi.height) && i % FStep < size_t(FRoi.width) * FBytes;
            if (!LInSample && FMemory[i] != CSentinel)
                return false;
        }
        return true;
    }

private:
    int FBytes;
    IppiSize FRoi;
    int FStep;
    std::vector<uint8_t> FMemory;
};

// Runs ACall(first, firstStep, second, secondStep, roi) through every error
// case and checks the status and that nothing was written.
template <class FCall>
void ExpectRegionErrors(int AFirstBytes, int ASecondBytes, FCall ACall)
{
    TRegion LFirst(AFirstBytes, {4, 2}, 0);
    TRegion LSecond(ASecondBytes, {4, 2}, 0);
    const auto LFirstBefore = LFirst.Bytes();
    const auto LSecondBefore = LSecond.Bytes();
    const int s1 = LFirst.Step();
    const int s2 = LSecond.Step();
    uint8_t* p1 = LFirst.Data();
    uint8_t* p2 = LSecond.Data();
    EXPECT_EQ(ACall(nullptr, s1, p2, s2, IppiSize{4, 2}), ippStsNullPtrErr);
    EXPECT_EQ(ACall(p1, s1, nullptr, s2, IppiSize{4, 2}), ippStsNullPtrErr);
    EXPECT_EQ(ACall(nullptr, 0, p2, s2, IppiSize{0, 2}), ippStsNullPtrErr) << "null is checked first";
    EXPECT_EQ(ACall(p1, s1, p2, s2, IppiSize{0, 2}), ippStsSizeErr);
    EXPECT_EQ(ACall(p1, s1, p2, s2, IppiSize{4, 0}), ippStsSizeErr);
    EXPECT_EQ(ACall(p1, s1, p2, s2, IppiSize{-1, 2}), ippStsSizeErr);
    EXPECT_EQ(ACall(p1, 0, p2, s2, IppiSize{0, 2}), ippStsSizeErr) << "size is checked before step";
    EXPECT_EQ(ACall(p1, 0, p2, s2, IppiSize{4, 2}), ippStsStepErr);
    EXPECT_EQ(ACall(p1, s1, p2, 0, IppiSize{4, 2}), ippStsStepErr);
    EXPECT_EQ(ACall(p1, -s1, p2, s2, IppiSize{4, 2}), ippStsStepErr);
    EXPECT_EQ(LFirst.Bytes(), LFirstBefore);
    EXPECT_EQ(LSecond.Bytes(), LSecondBefore);
}

// A kernel's arguments passed on from byte pointers as the types it takes.
template <class T, class U>
T Pass(U AValue)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(AValue);
    else
        return static_cast<T>(AValue);
}
template <class... A>
auto Bytes(IppStatus (*AKernel)(A...))
{
    return [AKernel](auto... AArgs) { return AKernel(Pass<A>(AArgs)...); };
}
// A table entry, called through the table.
template <class... A>
auto Bytes(IppStatus (**AEntry)(A...))
{
    return [AEntry](auto... AArgs) { return (*AEntry)(Pass<A>(AArgs)...); };
}

using TRow = std::vector<int64_t>;
using TRegionCall = std::function<IppStatus(uint8_t*, int32_t, uint8_t*, int32_t, IppiSize)>;

// The region kernels of one sample width behind byte pointers; 8s has only
// the addition and the conversions.
struct TWidth {
    const char* Name;
    int Bytes;
    int64_t Min, Max, Zero; // Zero: the stored value of silence
    std::function<IppStatus(double, uint8_t*, int32_t, IppiSize)> Multiply;
    std::function<IppStatus(double, const uint8_t*, int32_t, uint8_t*, int32_t, IppiSize)> AddProduct;
    std::function<IppStatus(const uint8_t*, int32_t, uint8_t*, int32_t, IppiSize, int32_t)> Add;
    bool Scaled; // Add takes its scale factor
    std::function<IppStatus(int64_t, uint8_t*, int32_t, IppiSize)> Set;
    std::function<IppStatus(const uint8_t*, int32_t, uint8_t*, int32_t, IppiSize)> ToFloat;
    std::function<IppStatus(const uint8_t*, int32_t, uint8_t*, int32_t, IppiSize, IppRoundMode)> FromFloat;
    bool Signed() const { return Min < 0; }

    // One row holding AValues after AKernel(row, step, roi) ran on it.
    TRow Row(const TRow& AValues, const std::function<IppStatus(uint8_t*, int32_t, IppiSize)>& AKernel) const
    {
        const IppiSize LRoi{static_cast<int32_t>(AValues.size()), 1};
        TRegion LRegion(Bytes, LRoi, 0);
        for (size_t i = 0; i < AValues.size(); ++i)
            LRegion.Put(0, int(i), AValues[i]);
        EXPECT_EQ(AKernel(LRegion.Data(), LRegion.Step(), LRoi), ippStsNoErr);
        TRow LResult;
        for (size_t i = 0; i < AValues.size(); ++i)
            LResult.push_back(LRegion.Get(0, int(i), Signed()));
        return LResult;
    }
    TRow MultiplyRow(const TRow& AValues, double AFactor) const
    {
        return Row(AValues, [&](uint8_t* p, int32_t s, IppiSize r) { return Multiply(AFactor, p, s, r); });
    }
    TRow AddRow(const TRow& ASrc, const TRow& ADst, int32_t AScale = 0) const
    {
        TRegion LRegion(Bytes, {static_cast<int32_t>(ASrc.size()), 1}, 0);
        for (size_t i = 0; i < ASrc.size(); ++i)
            LRegion.Put(0, int(i), ASrc[i]);
        return Row(ADst, [&](uint8_t* p, int32_t s, IppiSize r) { return Add(LRegion.Data(), LRegion.Step(), p, s, r, AScale); });
    }
    TRow FromFloatRow(const std::vector<float>& AValues, IppRoundMode AMode) const
    {
        return Row(TRow(AValues.size(), 0), [&](uint8_t* p, int32_t s, IppiSize r) {
            return FromFloat(reinterpret_cast<const uint8_t*>(AValues.data()), r.width * 4, p, s, r, AMode);
        });
    }
};

const std::vector<TWidth>& Widths()
{
    static const std::vector<TWidth> LWidths{
        {"8u", 1, 0, 255, 128, Bytes(MultiplyByReal8uI), Bytes(AddProductOfReal8uI),
         [](const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, IppiSize r, int32_t) { return AddOffset8uI(s, ss, d, ds, r); },
         false, Bytes(ippiSet_8u_C1R), Bytes(ippiConvert_8u32f_C1R), Bytes(ippiConvert_32f8u_C1R)},
        {"8s", 1, INT8_MIN, INT8_MAX, 0, nullptr, nullptr, Bytes(ippiAdd_8s_C1IRSfs), true, nullptr,
         Bytes(&ippiConvert_8s32f_C1R), Bytes(&ippiConvert_32f8s_C1R)},
        {"16s", 2, INT16_MIN, INT16_MAX, 0, Bytes(MultiplyByReal16sI), Bytes(AddProductOfReal16sI),
         Bytes(ippiAdd_16s_C1IRSfs), true, Bytes(ippiSet_16s_C1R), Bytes(&ippiConvert_16s32f_C1R),
         Bytes(&ippiConvert_32f16s_C1R)},
        {"24s", 3, -8388608, 8388607, 0, Bytes(MultiplyByReal24sI), Bytes(AddProductOfReal24sI),
         Bytes(ippiAdd_24s_C1IRSfs), true, Bytes(ippiSet_24s_C1R), Bytes(ippiConvert_24s32f_C1R),
         Bytes(ippiConvert_32f24s_C1R)},
        {"32s", 4, INT32_MIN, INT32_MAX, 0, Bytes(MultiplyByReal32sI), Bytes(AddProductOfReal32sI),
         Bytes(ippiAdd_32s_C1IRSfs), true, Bytes(ippiSet_32s_C1R), Bytes(ippiConvert_32s32f_C1R),
         [](const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, IppiSize r, IppRoundMode m) {
             return ippiConvert_32f32s_C1RSfs(Pass<const Ipp32f*>(s), ss, Pass<Ipp32s*>(d), ds, r, m, 0);
         }},
    };
    return LWidths;
}

TEST(MultiplyByRealTest, EveryRowOfAPaddedRegionSaturatesAndRoundsTiesToEven)
{
    for (const TWidth& W : Widths()) {
        if (!W.Multiply)
            continue;
        SCOPED_TRACE(W.Name);
        const int64_t z = W.Zero;
        for (const int LPadding : {0, 4}) {
            TRegion LRegion(W.Bytes, CRoi, LPadding);
            LRegion.Fill([&](int y, int x) { return z + (x - 3) * (y + 1); });
            ASSERT_EQ(W.Multiply(-2.0, LRegion.Data(), LRegion.Step(), CRoi), ippStsNoErr);
            EXPECT_TRUE(LRegion.Holds([&](int y, int x) { return z - 2 * (x - 3) * (y + 1); }, W.Signed()))
                << "padding " << LPadding;
        }
        EXPECT_EQ(W.MultiplyRow({W.Max, W.Min, W.Max - 1}, 2.0), (TRow{W.Max, W.Min, W.Max}));
        // -Min is one beyond Max; -Max fits.
        EXPECT_EQ(W.MultiplyRow({W.Min, W.Max}, -1.0), (TRow{W.Max, 2 * z - W.Max}));
        EXPECT_EQ(W.MultiplyRow({z + 1, z - 1, z}, 1e10), (TRow{W.Max, W.Min, z}));
        EXPECT_EQ(W.MultiplyRow({z + 1, z - 1}, -std::numeric_limits<double>::infinity()), (TRow{W.Min, W.Max}));
        EXPECT_EQ(W.MultiplyRow({W.Max, W.Min}, 0.0), (TRow{z, z}));
        // A NaN factor, and 0 * infinity, give silence.
        EXPECT_EQ(W.MultiplyRow({W.Max, W.Min, z + 1}, std::nan("")), (TRow{z, z, z}));
        EXPECT_EQ(W.MultiplyRow({z}, std::numeric_limits<double>::infinity()), (TRow{z}));
        // Ties round to even.
        EXPECT_EQ(W.MultiplyRow({z + 3, z + 5, z - 3, z + 1, z - 1, z + 7, z - 5}, 0.5),
                  (TRow{z + 2, z + 2, z - 2, z, z, z + 4, z - 2}));
        EXPECT_EQ(W.MultiplyRow({z + 1, z - 1}, 2.5), (TRow{z + 2, z - 2}));
        EXPECT_EQ(W.MultiplyRow({z + 10, z - 10}, 0.3), (TRow{z + 3, z - 3}));
        ExpectRegionErrors(W.Bytes, W.Bytes, [&](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
            // One region: the second pointer and step stand in for it too.
            return W.Multiply(2.0, p2 == nullptr ? nullptr : p1, std::min(s1, s2), roi);
        });
    }
}

TEST(AddTest, PaddedRegionsThatDoNotLineUpSaturationAndErrors)
{
    for (const TWidth& W : Widths()) {
        SCOPED_TRACE(W.Name);
        const int64_t z = W.Zero;
        const auto LSource = [&](int, int x) { return z + x - 3; };
        TRegion LSrc(W.Bytes, CRoi, 4);
        TRegion LDst(W.Bytes, CRoi, 12);
        LSrc.Fill(LSource);
        LDst.Fill([&](int y, int) { return z + 10 * y; });
        ASSERT_EQ(W.Add(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), CRoi, 0), ippStsNoErr);
        EXPECT_TRUE(LDst.Holds([&](int y, int x) { return z + x - 3 + 10 * y; }, W.Signed()));
        EXPECT_TRUE(LSrc.Holds(LSource, W.Signed())) << "the source is only read";
        EXPECT_EQ(W.AddRow({W.Max, W.Min, W.Max, W.Min, W.Max, z + 5}, {W.Max, W.Min, z + 1, z - 1, W.Min, z - 7}),
                  (TRow{W.Max, W.Min, W.Max, W.Min, W.Max + W.Min - z, z - 2}));
        ExpectRegionErrors(W.Bytes, W.Bytes, [&](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
            return W.Add(p1, s1, p2, s2, roi, 0);
        });
        if (!W.Scaled) {
            // No scale factor: stored values around 128, 200 is +72 and 50 is -78.
            EXPECT_EQ(W.AddRow({200, 50, 128, 130}, {200, 50, 77, 120}), (TRow{255, 0, 77, 122}));
            continue;
        }
        // The scale factor rounds ties to even: sums 3, 1, 5, -3, -1, -5, 6 halved.
        EXPECT_EQ(W.AddRow({1, 0, 2, -1, 0, -2, 3}, {2, 1, 3, -2, -1, -3, 3}, 1), (TRow{2, 0, 2, -2, 0, -2, 3}));
        // Sums 12, 20, -12, 11 divided by 8.
        EXPECT_EQ(W.AddRow({6, 10, -6, 5}, {6, 10, -6, 6}, 3), (TRow{2, 2, -2, 1}));
        // A negative scale factor multiplies, still saturating.
        EXPECT_EQ(W.AddRow({3, W.Max, -1}, {4, 0, -2}, -1), (TRow{14, W.Max, -6}));
        EXPECT_EQ(W.AddRow({1, -1, 0}, {0, 0, 0}, -40), (TRow{W.Max, W.Min, 0}));
        EXPECT_EQ(W.AddRow({W.Max, W.Min}, {W.Max, W.Min}, 40), (TRow{0, 0}));
    }
}

TEST(SetTest, FillsOnlyTheRegionAndReportsErrors)
{
    for (const TWidth& W : Widths()) {
        if (!W.Set)
            continue;
        SCOPED_TRACE(W.Name);
        for (const IppiSize LRoi : {IppiSize{1, 1}, CRoi, IppiSize{1023, 1}, IppiSize{1, 9}})
            for (const int LPadding : {0, 4})
                for (const int64_t LValue : {W.Min, W.Max, W.Zero - 1}) {
                    TRegion LRegion(W.Bytes, LRoi, LPadding);
                    ASSERT_EQ(W.Set(LValue, LRegion.Data(), LRegion.Step(), LRoi), ippStsNoErr);
                    ASSERT_TRUE(LRegion.Holds([&](int, int) { return LValue; }, W.Signed()))
                        << LRoi.width << "x" << LRoi.height << ", padding " << LPadding;
                }
        ExpectRegionErrors(W.Bytes, W.Bytes, [&](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
            return W.Set(1, p2 == nullptr ? nullptr : p1, std::min(s1, s2), roi);
        });
    }
    // A 24-bit value beyond the width saturates.
    uint8_t LBytes[7] = {0, 0, 0, 0, 0, 0, 0xEE};
    ASSERT_EQ(ippiSet_24s_C1R(9000000, LBytes, 6, {1, 1}), ippStsNoErr);
    ASSERT_EQ(ippiSet_24s_C1R(-9000000, LBytes + 3, 3, {1, 1}), ippStsNoErr);
    EXPECT_EQ(Convert24BitTo32Bit(LBytes), 8388607);
    EXPECT_EQ(Convert24BitTo32Bit(LBytes + 3), -8388608);
    EXPECT_EQ(LBytes[6], 0xEE);
}

TEST(ConvertTest, IntegerToFloatConvertsEverySampleAndReportsErrors)
{
    for (const TWidth& W : Widths()) {
        if (!W.ToFloat)
            continue;
        SCOPED_TRACE(W.Name);
        // The limits in the first row, small values around silence below.
        const auto LValue = [&](int y, int x) {
            return y == 0 && x == 0 ? W.Min : y == 0 && x == 1 ? W.Max : W.Zero + x - 3 + 10 * y;
        };
        TRegion LSrc(W.Bytes, CRoi, 4);
        TRegion LDst(4, CRoi, 8);
        LSrc.Fill(LValue);
        ASSERT_EQ(W.ToFloat(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), CRoi), ippStsNoErr);
        // The offset of unsigned 8-bit samples stays in.
        EXPECT_TRUE(LDst.Holds(
            [&](int y, int x) {
                const float LFloat = static_cast<float>(LValue(y, x));
                int32_t LBits;
                std::memcpy(&LBits, &LFloat, 4);
                return int64_t{LBits};
            },
            true));
        ExpectRegionErrors(W.Bytes, 4, W.ToFloat);
    }
}

TEST(ConvertTest, FloatToIntegerInBothModesSaturatesAndRoundsTiesToEven)
{
    const float LInf = std::numeric_limits<float>::infinity();
    for (const TWidth& W : Widths()) {
        if (!W.FromFloat)
            continue;
        SCOPED_TRACE(W.Name);
        for (const IppRoundMode LMode : {ippRndNear, ippRndZero}) {
            TRegion LSrc(4, CRoi, 4);
            TRegion LDst(W.Bytes, CRoi, 8);
            for (int y = 0; y < CRoi.height; ++y)
                for (int x = 0; x < CRoi.width; ++x) {
                    const float LValue = static_cast<float>(x + 10 * y) + 0.25f;
                    std::memcpy(LSrc.At(y, x), &LValue, 4);
                }
            ASSERT_EQ(W.FromFloat(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), CRoi, LMode), ippStsNoErr);
            EXPECT_TRUE(LDst.Holds([](int y, int x) { return int64_t{x + 10 * y}; }, W.Signed())) << "mode " << LMode;
        }
        const auto LMax = static_cast<float>(W.Max);
        const auto LMin = static_cast<float>(W.Min);
        EXPECT_EQ(W.FromFloatRow({LMax * 2, LMin * 2 - 1, 1e38f, -1e38f, LInf, -LInf, std::nanf("")}, ippRndNear),
                  (TRow{W.Max, W.Min, W.Max, W.Min, W.Max, W.Min, 0}));
        if (W.Signed()) {
            EXPECT_EQ(W.FromFloatRow({0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 2.7f, -2.7f, 0.49999997f}, ippRndNear),
                      (TRow{0, 2, 2, 0, -2, -2, 3, -3, 0}));
            EXPECT_EQ(W.FromFloatRow({-2.7f, -7.75f, std::nanf("")}, ippRndZero), (TRow{-2, -7, 0}));
            EXPECT_EQ(W.FromFloatRow({2.5f, -2.7f, 1.5f}, IppRoundMode(7)), (TRow{2, -2, 1})) << "any other mode truncates";
        } else {
            EXPECT_EQ(W.FromFloatRow({0.5f, 1.5f, 2.5f, -0.5f, 254.5f, 255.5f, 2.7f}, ippRndNear),
                      (TRow{0, 2, 2, 0, 254, 255, 3}));
        }
        EXPECT_EQ(W.FromFloatRow({2.7f, 1.5f, LMax * 2}, ippRndZero), (TRow{2, 1, W.Max}));
        ExpectRegionErrors(4, W.Bytes, [&](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
            return W.FromFloat(p1, s1, p2, s2, roi, ippRndNear);
        });
    }
}

TEST(ConvertTest, ScaleFactorOf32BitConversionAndAColumnOfStereo)
{
    const float LSrc[] = {3.0f, 5.0f, -3.0f, 1.5f, 1e9f, 7.0f};
    Ipp32s LDst[6] = {};
    ASSERT_EQ(ippiConvert_32f32s_C1RSfs(LSrc, 12, LDst, 12, {3, 1}, ippRndNear, 1), ippStsNoErr); // 1.5 2.5 -1.5
    ASSERT_EQ(ippiConvert_32f32s_C1RSfs(LSrc + 3, 12, LDst + 3, 12, {3, 1}, ippRndNear, -4), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(2, 2, -2, 24, INT32_MAX, 112));
    ASSERT_EQ(ippiConvert_32f32s_C1RSfs(LSrc, 4, LDst, 4, {1, 1}, ippRndZero, 1), ippStsNoErr);
    EXPECT_EQ(LDst[0], 1);

    // The left channel of 5 stereo frames, one sample wide and 5 rows high.
    const Ipp16s LFrames[10] = {1, -1, 2, -2, 3, -3, 32767, 0, -32768, 0};
    float LLeft[5] = {};
    ASSERT_EQ(ippiConvert_16s32f_C1R(LFrames, 4, LLeft, 4, {1, 5}), ippStsNoErr);
    EXPECT_THAT(LLeft, ElementsAre(1.0f, 2.0f, 3.0f, 32767.0f, -32768.0f));
    Ipp16s LBack[10] = {};
    ASSERT_EQ(ippiConvert_32f16s_C1R(LLeft, 4, LBack + 1, 4, {1, 5}, ippRndNear), ippStsNoErr);
    EXPECT_THAT(LBack, ElementsAre(0, 1, 0, 2, 0, 3, 0, 32767, 0, -32768)) << "the other channel stays";
}

TEST(TwentyFourBitTest, ReadsSignExtendedAndWritesExactlyThreeBytes)
{
    const struct {
        int32_t Value;
        uint8_t Bytes[3];
    } LCases[] = {{-1, {0xFF, 0xFF, 0xFF}},        {-8388608, {0x00, 0x00, 0x80}},
                  {8388607, {0xFF, 0xFF, 0x7F}},   {1, {0x01, 0x00, 0x00}},
                  {0x123456, {0x56, 0x34, 0x12}},  {0xA23456 - 0x1000000, {0x56, 0x34, 0xA2}}};
    for (const auto& LCase : LCases) {
        EXPECT_EQ(Convert24BitTo32Bit(LCase.Bytes), LCase.Value);
        uint8_t LMemory[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        Convert32BitTo24Bit(LCase.Value, LMemory + 1);
        EXPECT_THAT(LMemory, ElementsAre(0xEE, LCase.Bytes[0], LCase.Bytes[1], LCase.Bytes[2], 0xEE)) << LCase.Value;
    }
    // Bits above the 24 are dropped.
    uint8_t LMemory[3];
    Convert32BitTo24Bit(0x7E123456, LMemory);
    EXPECT_THAT(LMemory, ElementsAre(0x56, 0x34, 0x12));
}

// The AVX2 builds of the buffer and meter kernels against their portable
// builds: random samples, odd lengths, unaligned starts, every width.
TEST(IPPExtraFunctionsTest, VectorKernelsMatchThePortableBuildBitForBit)
{
    std::mt19937 LRandom(17);
    const auto LBoth = [](const std::function<std::vector<uint8_t>()>& ARun) {
        SNUseVectorKernels(true);
        const std::vector<uint8_t> LVector = ARun();
        SNUseVectorKernels(false);
        const std::vector<uint8_t> LPortable = ARun();
        SNUseVectorKernels(true);
        return LVector == LPortable;
    };
    for (int LRound = 0; LRound < 40; ++LRound) {
        const int n = 2 * static_cast<int>(LRandom() % 700) + 1;
        std::vector<uint8_t> LData(size_t(n) * 4 + 4), LOther(LData.size());
        for (auto* LBytes : {&LData, &LOther})
            for (uint8_t& LByte : *LBytes)
                LByte = static_cast<uint8_t>(LRandom());
        const double LFactor = std::ldexp(static_cast<double>(LRandom() % 2001) - 1000.0, -7);
        const IppiSize LRoi{n, 1};
        for (const TWidth& W : Widths()) {
            if (!W.Multiply)
                continue;
            SCOPED_TRACE(testing::Message() << W.Name << ", " << n << " samples, factor " << LFactor);
            const int LStep = n * W.Bytes;
            const uint8_t* LSrc = LOther.data();
            const auto LRun = [&](auto AKernel) {
                return [&, AKernel] {
                    std::vector<uint8_t> LOut(LData);
                    AKernel(LOut.data() + 4);
                    return LOut;
                };
            };
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) { W.Multiply(LFactor, AOut, LStep, LRoi); }))) << "multiply";
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) { W.Add(LSrc, LStep, AOut, LStep, LRoi, 0); }))) << "add";
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) { W.AddProduct(LFactor, LSrc, LStep, AOut, LStep, LRoi); })))
                << "add product";
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) { W.Set(W.Bytes == 1 ? 128 : -3, AOut, LStep, LRoi); }))) << "fill";
            for (int LDstBits : {8, 16, 24, 32})
                EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) { ConvertSampleWidth(LSrc, 8 * W.Bytes, AOut, LDstBits, n); })))
                    << "width to " << LDstBits;
        }
        std::vector<float> LFloats(static_cast<size_t>(n));
        for (float& LValue : LFloats)
            LValue = static_cast<float>(static_cast<int16_t>(LRandom())) / 32768.0f;
        EXPECT_TRUE(LBoth([&] {
            std::vector<float> LSquares(LFloats.size()), LSqr(LFloats);
            float LMean = 0, LSum = 0;
            ippsMul_32f(LFloats.data(), LFloats.data(), LSquares.data(), n);
            ippsMean_32f(LSquares.data(), n, &LMean, ippAlgHintAccurate);
            ippsSqr_32f_I(LSqr.data(), n);
            ippsSum_32f(LSqr.data(), n, &LSum, ippAlgHintAccurate);
            LSquares.insert(LSquares.end(), LSqr.begin(), LSqr.end());
            LSquares.push_back(LMean);
            LSquares.push_back(LSum);
            std::vector<uint8_t> LBytes(LSquares.size() * sizeof(float));
            std::memcpy(LBytes.data(), LSquares.data(), LBytes.size());
            return LBytes;
        })) << "meter kernels, " << n << " values";
    }
}

} // namespace
} // namespace Sonorix
