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

// ---------------------------------------------------------------- widths

template <class TElem, int ABytes, int64_t AMin, int64_t AMax, int64_t AZero>
struct TWidthBase {
    using Elem = TElem;
    static constexpr int Bytes = ABytes;
    static constexpr int64_t Min = AMin;
    static constexpr int64_t Max = AMax;
    static constexpr int64_t Zero = AZero; // stored value of silence
    static constexpr bool Signed = AMin < 0;
    static constexpr const char* Name = ABytes == 1 ? (Signed ? "8s" : "8u") : ABytes == 2 ? "16s" : ABytes == 3 ? "24s" : "32s";
    static Elem* Cast(uint8_t* AData) { return reinterpret_cast<Elem*>(AData); }
    static const Elem* Cast(const uint8_t* AData) { return reinterpret_cast<const Elem*>(AData); }
};

using TW8u = TWidthBase<Ipp8u, 1, 0, 255, 128>;
using TW8s = TWidthBase<Ipp8s, 1, INT8_MIN, INT8_MAX, 0>;
using TW16s = TWidthBase<Ipp16s, 2, INT16_MIN, INT16_MAX, 0>;
using TW24s = TWidthBase<Ipp8u, 3, -8388608, 8388607, 0>;
using TW32s = TWidthBase<Ipp32s, 4, INT32_MIN, INT32_MAX, 0>;

class TKindNames {
public:
    template <class T>
    static std::string GetName(int)
    {
        return T::Name;
    }
};

// ---------------------------------------------------------------- MultiplyByReal

template <class W, IppStatus (*AKernel)(double, typename W::Elem*, int32_t, IppiSize)>
struct TMultiplyKind : W {
    static IppStatus Run(double AFactor, uint8_t* AData, int32_t AStep, IppiSize ARoi)
    {
        return AKernel(AFactor, W::Cast(AData), AStep, ARoi);
    }
};

using TMultiplyKinds = ::testing::Types<TMultiplyKind<TW8u, MultiplyByReal8uI>, TMultiplyKind<TW16s, MultiplyByReal16sI>,
                                        TMultiplyKind<TW24s, MultiplyByReal24sI>,
                                        TMultiplyKind<TW32s, MultiplyByReal32sI>>;

template <class K>
class MultiplyByRealTest : public ::testing::Test {
protected:
    // Multiplies one row holding AValues by AFactor and returns the result.
    static std::vector<int64_t> MultiplyRow(const std::vector<int64_t>& AValues, double AFactor)
    {
        const IppiSize LRoi{static_cast<int32_t>(AValues.size()), 1};
        TRegion LRegion(K::Bytes, LRoi, 0);
        for (size_t i = 0; i < AValues.size(); ++i)
            LRegion.Put(0, int(i), AValues[i]);
        EXPECT_EQ(K::Run(AFactor, LRegion.Data(), LRegion.Step(), LRoi), ippStsNoErr);
        std::vector<int64_t> LResult;
        for (size_t i = 0; i < AValues.size(); ++i)
            LResult.push_back(LRegion.Get(0, int(i), K::Signed));
        return LResult;
    }
};
TYPED_TEST_SUITE(MultiplyByRealTest, TMultiplyKinds, TKindNames);

TYPED_TEST(MultiplyByRealTest, EveryRowOfAPaddedRegion)
{
    using K = TypeParam;
    for (const int LPadding : {0, 4}) {
        TRegion LRegion(K::Bytes, CRoi, LPadding);
        LRegion.Fill([](int y, int x) { return K::Zero + (x - 3) * (y + 1); });
        ASSERT_EQ(K::Run(-2.0, LRegion.Data(), LRegion.Step(), CRoi), ippStsNoErr);
        EXPECT_TRUE(LRegion.Holds([](int y, int x) { return K::Zero - 2 * (x - 3) * (y + 1); }, K::Signed))
            << "padding " << LPadding;
    }
}

TYPED_TEST(MultiplyByRealTest, SaturatesAndRoundsTiesToEven)
{
    using K = TypeParam;
    const int64_t z = K::Zero;
    EXPECT_EQ(this->MultiplyRow({K::Max, K::Min, K::Max - 1}, 2.0), (std::vector<int64_t>{K::Max, K::Min, K::Max}));
    // -Min is one beyond Max; -Max fits.
    EXPECT_EQ(this->MultiplyRow({K::Min, K::Max}, -1.0), (std::vector<int64_t>{K::Max, 2 * z - K::Max}));
    EXPECT_EQ(this->MultiplyRow({z + 1, z - 1, z}, 1e10), (std::vector<int64_t>{K::Max, K::Min, z}));
    EXPECT_EQ(this->MultiplyRow({z + 1, z - 1}, -std::numeric_limits<double>::infinity()),
              (std::vector<int64_t>{K::Min, K::Max}));
    EXPECT_EQ(this->MultiplyRow({K::Max, K::Min}, 0.0), (std::vector<int64_t>{z, z}));
    // A NaN factor, and 0 * infinity, give silence.
    EXPECT_EQ(this->MultiplyRow({K::Max, K::Min, z + 1}, std::nan("")), (std::vector<int64_t>{z, z, z}));
    EXPECT_EQ(this->MultiplyRow({z}, std::numeric_limits<double>::infinity()), (std::vector<int64_t>{z}));
    // Ties round to even.
    EXPECT_EQ(this->MultiplyRow({z + 3, z + 5, z - 3, z + 1, z - 1, z + 7, z - 5}, 0.5),
              (std::vector<int64_t>{z + 2, z + 2, z - 2, z, z, z + 4, z - 2}));
    EXPECT_EQ(this->MultiplyRow({z + 1, z - 1}, 2.5), (std::vector<int64_t>{z + 2, z - 2}));
    EXPECT_EQ(this->MultiplyRow({z + 10, z - 10}, 0.3), (std::vector<int64_t>{z + 3, z - 3}));
    ExpectRegionErrors(K::Bytes, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        // One region: the second pointer and step stand in for it too.
        return K::Run(2.0, p2 == nullptr ? nullptr : p1, std::min(s1, s2), roi);
    });
}

// ---------------------------------------------------------------- Add

template <class W, auto AKernel, bool AScaled>
struct TAddKind : W {
    static constexpr const char* Name = AScaled ? W::Name : "8u_offset";
    static constexpr bool Scaled = AScaled;
    static IppStatus Run(const uint8_t* ASrc, int32_t ASrcStep, uint8_t* ASrcDst, int32_t ASrcDstStep, IppiSize ARoi,
                         int32_t AScale)
    {
        if constexpr (AScaled)
            return AKernel(W::Cast(ASrc), ASrcStep, W::Cast(ASrcDst), ASrcDstStep, ARoi, AScale);
        else
            return AKernel(W::Cast(ASrc), ASrcStep, W::Cast(ASrcDst), ASrcDstStep, ARoi);
    }
};

using TAddKinds = ::testing::Types<TAddKind<TW8s, ippiAdd_8s_C1IRSfs, true>, TAddKind<TW8u, AddOffset8uI, false>,
                                   TAddKind<TW16s, ippiAdd_16s_C1IRSfs, true>,
                                   TAddKind<TW24s, ippiAdd_24s_C1IRSfs, true>,
                                   TAddKind<TW32s, ippiAdd_32s_C1IRSfs, true>>;

template <class K>
class AddTest : public ::testing::Test {
protected:
    static std::vector<int64_t> AddRow(const std::vector<int64_t>& ASrc, const std::vector<int64_t>& ADst,
                                       int32_t AScale = 0)
    {
        const IppiSize LRoi{static_cast<int32_t>(ASrc.size()), 1};
        TRegion LSrc(K::Bytes, LRoi, 0);
        TRegion LDst(K::Bytes, LRoi, 0);
        for (size_t i = 0; i < ASrc.size(); ++i) {
            LSrc.Put(0, int(i), ASrc[i]);
            LDst.Put(0, int(i), ADst[i]);
        }
        EXPECT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), LRoi, AScale), ippStsNoErr);
        std::vector<int64_t> LResult;
        for (size_t i = 0; i < ASrc.size(); ++i)
            LResult.push_back(LDst.Get(0, int(i), K::Signed));
        return LResult;
    }
};
TYPED_TEST_SUITE(AddTest, TAddKinds, TKindNames);

TYPED_TEST(AddTest, EveryRowOfPaddedRegionsThatDoNotLineUp)
{
    using K = TypeParam;
    const auto LSource = [](int, int x) { return K::Zero + x - 3; };
    TRegion LSrc(K::Bytes, CRoi, 4);
    TRegion LDst(K::Bytes, CRoi, 12);
    LSrc.Fill(LSource);
    LDst.Fill([](int y, int) { return K::Zero + 10 * y; });
    ASSERT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), CRoi, 0), ippStsNoErr);
    EXPECT_TRUE(LDst.Holds([](int y, int x) { return K::Zero + x - 3 + 10 * y; }, K::Signed));
    EXPECT_TRUE(LSrc.Holds(LSource, K::Signed)) << "the source is only read";
}

TYPED_TEST(AddTest, SaturatesAndReportsErrorsBeforeWriting)
{
    using K = TypeParam;
    const int64_t z = K::Zero;
    EXPECT_EQ(this->AddRow({K::Max, K::Min, K::Max, K::Min, K::Max, z + 5},
                           {K::Max, K::Min, z + 1, z - 1, K::Min, z - 7}),
              (std::vector<int64_t>{K::Max, K::Min, K::Max, K::Min, K::Max + K::Min - z, z - 2}));
    ExpectRegionErrors(K::Bytes, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        return K::Run(p1, s1, p2, s2, roi, 0);
    });
}

TYPED_TEST(AddTest, ScaleFactorRoundsTiesToEven)
{
    using K = TypeParam;
    if constexpr (!K::Scaled) {
        // No scale factor: stored values around 128, 200 is +72 and 50 is -78.
        EXPECT_EQ(this->AddRow({200, 50, 128, 130}, {200, 50, 77, 120}), (std::vector<int64_t>{255, 0, 77, 122}));
        return;
    }
    // Sums 3, 1, 5, -3, -1, -5, 6 halved.
    EXPECT_EQ(this->AddRow({1, 0, 2, -1, 0, -2, 3}, {2, 1, 3, -2, -1, -3, 3}, 1),
              (std::vector<int64_t>{2, 0, 2, -2, 0, -2, 3}));
    // Sums 12, 20, -12, 11 divided by 8.
    EXPECT_EQ(this->AddRow({6, 10, -6, 5}, {6, 10, -6, 6}, 3), (std::vector<int64_t>{2, 2, -2, 1}));
    // A negative scale factor multiplies, still saturating.
    EXPECT_EQ(this->AddRow({3, K::Max, -1}, {4, 0, -2}, -1), (std::vector<int64_t>{14, K::Max, -6}));
    EXPECT_EQ(this->AddRow({1, -1, 0}, {0, 0, 0}, -40), (std::vector<int64_t>{K::Max, K::Min, 0}));
    EXPECT_EQ(this->AddRow({K::Max, K::Min}, {K::Max, K::Min}, 40), (std::vector<int64_t>{0, 0}));
}

// ---------------------------------------------------------------- Set

template <class W, class TValue, IppStatus (*AKernel)(TValue, typename W::Elem*, int32_t, IppiSize)>
struct TSetKind : W {
    static IppStatus Run(int64_t AValue, uint8_t* ADst, int32_t AStep, IppiSize ARoi)
    {
        return AKernel(static_cast<TValue>(AValue), W::Cast(ADst), AStep, ARoi);
    }
};

using TSetKinds =
    ::testing::Types<TSetKind<TW8u, Ipp8u, ippiSet_8u_C1R>, TSetKind<TW16s, Ipp16s, ippiSet_16s_C1R>,
                     TSetKind<TW24s, Ipp32s, ippiSet_24s_C1R>, TSetKind<TW32s, Ipp32s, ippiSet_32s_C1R>>;

template <class K>
class SetTest : public ::testing::Test {};
TYPED_TEST_SUITE(SetTest, TSetKinds, TKindNames);

TYPED_TEST(SetTest, FillsOnlyTheRegionAndReportsErrors)
{
    using K = TypeParam;
    for (const IppiSize LRoi : {IppiSize{1, 1}, CRoi, IppiSize{1023, 1}, IppiSize{1, 9}})
        for (const int LPadding : {0, 4})
            for (const int64_t LValue : {K::Min, K::Max, K::Zero - 1}) {
                TRegion LRegion(K::Bytes, LRoi, LPadding);
                ASSERT_EQ(K::Run(LValue, LRegion.Data(), LRegion.Step(), LRoi), ippStsNoErr);
                ASSERT_TRUE(LRegion.Holds([&](int, int) { return LValue; }, K::Signed))
                    << LRoi.width << "x" << LRoi.height << ", padding " << LPadding;
            }
    ExpectRegionErrors(K::Bytes, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        return K::Run(1, p2 == nullptr ? nullptr : p1, std::min(s1, s2), roi);
    });
}

TEST(SetHandTest, TwentyFourBitValueSaturates)
{
    uint8_t LBytes[7] = {0, 0, 0, 0, 0, 0, 0xEE};
    ASSERT_EQ(ippiSet_24s_C1R(9000000, LBytes, 6, {1, 1}), ippStsNoErr);
    ASSERT_EQ(ippiSet_24s_C1R(-9000000, LBytes + 3, 3, {1, 1}), ippStsNoErr);
    EXPECT_EQ(Convert24BitTo32Bit(LBytes), 8388607);
    EXPECT_EQ(Convert24BitTo32Bit(LBytes + 3), -8388608);
    EXPECT_EQ(LBytes[6], 0xEE);
}

// ---------------------------------------------------------------- integer to float

template <class W, IppStatus (*AKernel)(const typename W::Elem*, int32_t, Ipp32f*, int32_t, IppiSize)>
struct TToFloatKind : W {
    static IppStatus Run(const uint8_t* ASrc, int32_t ASrcStep, uint8_t* ADst, int32_t ADstStep, IppiSize ARoi)
    {
        return AKernel(W::Cast(ASrc), ASrcStep, reinterpret_cast<Ipp32f*>(ADst), ADstStep, ARoi);
    }
};

// The 16-bit conversions are table entries: called through the table.
IppStatus TableConvert16s32f(const Ipp16s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi)
{
    return ippiConvert_16s32f_C1R(pSrc, srcStep, pDst, dstStep, roi);
}

using TToFloatKinds = ::testing::Types<TToFloatKind<TW8u, ippiConvert_8u32f_C1R>,
                                       TToFloatKind<TW16s, TableConvert16s32f>,
                                       TToFloatKind<TW24s, ippiConvert_24s32f_C1R>,
                                       TToFloatKind<TW32s, ippiConvert_32s32f_C1R>>;

template <class K>
class ToFloatTest : public ::testing::Test {};
TYPED_TEST_SUITE(ToFloatTest, TToFloatKinds, TKindNames);

TYPED_TEST(ToFloatTest, ConvertsEverySampleAndReportsErrors)
{
    using K = TypeParam;
    // The limits in the first row, small values around silence below.
    const auto LValue = [](int y, int x) {
        return y == 0 && x == 0 ? K::Min : y == 0 && x == 1 ? K::Max : K::Zero + x - 3 + 10 * y;
    };
    TRegion LSrc(K::Bytes, CRoi, 4);
    TRegion LDst(4, CRoi, 8);
    LSrc.Fill(LValue);
    ASSERT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), CRoi), ippStsNoErr);
    // The offset of unsigned 8-bit samples stays in.
    EXPECT_TRUE(LDst.Holds(
        [&](int y, int x) {
            const float LFloat = static_cast<float>(LValue(y, x));
            int32_t LBits;
            std::memcpy(&LBits, &LFloat, 4);
            return int64_t{LBits};
        },
        true));
    ExpectRegionErrors(K::Bytes, 4, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        return K::Run(p1, s1, p2, s2, roi);
    });
}

// ---------------------------------------------------------------- float to integer

IppStatus Convert32f32sUnscaled(const Ipp32f* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep, IppiSize roi,
                                IppRoundMode roundMode)
{
    return ippiConvert_32f32s_C1RSfs(pSrc, srcStep, pDst, dstStep, roi, roundMode, 0);
}

IppStatus TableConvert32f16s(const Ipp32f* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep, IppiSize roi,
                             IppRoundMode roundMode)
{
    return ippiConvert_32f16s_C1R(pSrc, srcStep, pDst, dstStep, roi, roundMode);
}

template <class W, IppStatus (*AKernel)(const Ipp32f*, int32_t, typename W::Elem*, int32_t, IppiSize, IppRoundMode)>
struct TFromFloatKind : W {
    static IppStatus Run(const uint8_t* ASrc, int32_t ASrcStep, uint8_t* ADst, int32_t ADstStep, IppiSize ARoi,
                         IppRoundMode AMode)
    {
        return AKernel(reinterpret_cast<const Ipp32f*>(ASrc), ASrcStep, W::Cast(ADst), ADstStep, ARoi, AMode);
    }
};

using TFromFloatKinds = ::testing::Types<TFromFloatKind<TW8u, ippiConvert_32f8u_C1R>,
                                         TFromFloatKind<TW16s, TableConvert32f16s>,
                                         TFromFloatKind<TW24s, ippiConvert_32f24s_C1R>,
                                         TFromFloatKind<TW32s, Convert32f32sUnscaled>>;

template <class K>
class FromFloatTest : public ::testing::Test {
protected:
    static std::vector<int64_t> ConvertRow(const std::vector<float>& AValues, IppRoundMode AMode)
    {
        const IppiSize LRoi{static_cast<int32_t>(AValues.size()), 1};
        TRegion LDst(K::Bytes, LRoi, 0);
        EXPECT_EQ(K::Run(reinterpret_cast<const uint8_t*>(AValues.data()), LRoi.width * 4, LDst.Data(), LDst.Step(),
                         LRoi, AMode),
                  ippStsNoErr);
        std::vector<int64_t> LResult;
        for (int x = 0; x < LRoi.width; ++x)
            LResult.push_back(LDst.Get(0, x, K::Signed));
        return LResult;
    }
};
TYPED_TEST_SUITE(FromFloatTest, TFromFloatKinds, TKindNames);

TYPED_TEST(FromFloatTest, EveryRowOfPaddedRegionsInBothModes)
{
    using K = TypeParam;
    for (const IppRoundMode LMode : {ippRndNear, ippRndZero}) {
        TRegion LSrc(4, CRoi, 4);
        TRegion LDst(K::Bytes, CRoi, 8);
        for (int y = 0; y < CRoi.height; ++y)
            for (int x = 0; x < CRoi.width; ++x) {
                const float LValue = static_cast<float>(x + 10 * y) + 0.25f;
                std::memcpy(LSrc.At(y, x), &LValue, 4);
            }
        ASSERT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), CRoi, LMode), ippStsNoErr);
        EXPECT_TRUE(LDst.Holds([](int y, int x) { return int64_t{x + 10 * y}; }, K::Signed)) << "mode " << LMode;
    }
}

TYPED_TEST(FromFloatTest, SaturatesAndRoundsTiesToEven)
{
    using K = TypeParam;
    const auto LMax = static_cast<float>(K::Max);
    const auto LMin = static_cast<float>(K::Min);
    const float LInf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(this->ConvertRow({LMax * 2, LMin * 2 - 1, 1e38f, -1e38f, LInf, -LInf, std::nanf("")}, ippRndNear),
              (std::vector<int64_t>{K::Max, K::Min, K::Max, K::Min, K::Max, K::Min, 0}));
    if constexpr (K::Signed) {
        EXPECT_EQ(this->ConvertRow({0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 2.7f, -2.7f, 0.49999997f}, ippRndNear),
                  (std::vector<int64_t>{0, 2, 2, 0, -2, -2, 3, -3, 0}));
        EXPECT_EQ(this->ConvertRow({-2.7f, -7.75f, std::nanf("")}, ippRndZero), (std::vector<int64_t>{-2, -7, 0}));
    } else {
        EXPECT_EQ(this->ConvertRow({0.5f, 1.5f, 2.5f, -0.5f, 254.5f, 255.5f, 2.7f}, ippRndNear),
                  (std::vector<int64_t>{0, 2, 2, 0, 254, 255, 3}));
    }
    EXPECT_EQ(this->ConvertRow({2.7f, 1.5f, LMax * 2}, ippRndZero), (std::vector<int64_t>{2, 1, K::Max}));
    ExpectRegionErrors(4, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        return K::Run(p1, s1, p2, s2, roi, ippRndNear);
    });
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

// ---------------------------------------------------------------- 24-bit helpers

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

} // namespace
} // namespace Sonorix

namespace Sonorix {

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
        for (int LBits : {8, 16, 24, 32}) {
            SCOPED_TRACE(testing::Message() << LBits << " bits, " << n << " samples, factor " << LFactor);
            const int LStep = n * LBits / 8;
            const auto LRun = [&](auto AKernel) {
                return [&, AKernel] {
                    std::vector<uint8_t> LOut(LData);
                    AKernel(LOut.data() + 4);
                    return LOut;
                };
            };
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) {
                switch (LBits) {
                case 8: MultiplyByReal8uI(LFactor, AOut, LStep, LRoi); break;
                case 16: MultiplyByReal16sI(LFactor, reinterpret_cast<Ipp16s*>(AOut), LStep, LRoi); break;
                case 24: MultiplyByReal24sI(LFactor, AOut, LStep, LRoi); break;
                default: MultiplyByReal32sI(LFactor, reinterpret_cast<Ipp32s*>(AOut), LStep, LRoi);
                }
            }))) << "multiply";
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) {
                const uint8_t* LSrc = LOther.data();
                switch (LBits) {
                case 8: AddOffset8uI(LSrc, LStep, AOut, LStep, LRoi); break;
                case 16: ippiAdd_16s_C1IRSfs(reinterpret_cast<const Ipp16s*>(LSrc), LStep, reinterpret_cast<Ipp16s*>(AOut), LStep, LRoi, 0); break;
                case 24: ippiAdd_24s_C1IRSfs(LSrc, LStep, AOut, LStep, LRoi, 0); break;
                default: ippiAdd_32s_C1IRSfs(reinterpret_cast<const Ipp32s*>(LSrc), LStep, reinterpret_cast<Ipp32s*>(AOut), LStep, LRoi, 0);
                }
            }))) << "add";
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) {
                const uint8_t* LSrc = LOther.data();
                switch (LBits) {
                case 8: AddProductOfReal8uI(LFactor, LSrc, LStep, AOut, LStep, LRoi); break;
                case 16: AddProductOfReal16sI(LFactor, reinterpret_cast<const Ipp16s*>(LSrc), LStep, reinterpret_cast<Ipp16s*>(AOut), LStep, LRoi); break;
                case 24: AddProductOfReal24sI(LFactor, LSrc, LStep, AOut, LStep, LRoi); break;
                default: AddProductOfReal32sI(LFactor, reinterpret_cast<const Ipp32s*>(LSrc), LStep, reinterpret_cast<Ipp32s*>(AOut), LStep, LRoi);
                }
            }))) << "add product";
            EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) {
                switch (LBits) {
                case 8: ippiSet_8u_C1R(128, AOut, LStep, LRoi); break;
                case 16: ippiSet_16s_C1R(-3, reinterpret_cast<Ipp16s*>(AOut), LStep, LRoi); break;
                case 24: ippiSet_24s_C1R(-3, AOut, LStep, LRoi); break;
                default: ippiSet_32s_C1R(-3, reinterpret_cast<Ipp32s*>(AOut), LStep, LRoi);
                }
            }))) << "fill";
            for (int LDstBits : {8, 16, 24, 32})
                EXPECT_TRUE(LBoth(LRun([&](uint8_t* AOut) { ConvertSampleWidth(LOther.data(), LBits, AOut, LDstBits, n); })))
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

} // namespace Sonorix
