// SPDX-License-Identifier: MIT
// Region primitives of IPPExtraFunctions and SNBasicDispatcher, checked per
// width against naive references on fixed-seed data: odd widths, several rows,
// padding between rows that must stay untouched, limits, ties and errors.
#include "DGSignalDispatcher.h"
#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"
#include "SNDispatcher.h"

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

constexpr uint8_t CSentinel = 0xA5;
constexpr size_t CGuardBytes = 16;

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
// APadding sentinel bytes, and a guard after the last row.
class TRegion {
public:
    TRegion(int ABytes, IppiSize ARoi, int APadding)
        : FBytes(ABytes), FRoi(ARoi), FStep(ARoi.width * ABytes + APadding),
          FMemory(size_t(FStep) * ARoi.height + CGuardBytes, CSentinel)
    {
    }

    int Step() const { return FStep; }
    uint8_t* Data() { return FMemory.data(); }
    template <class T>
    T* As()
    {
        return reinterpret_cast<T*>(FMemory.data());
    }
    uint8_t* At(int y, int x) { return FMemory.data() + size_t(y) * FStep + size_t(x) * FBytes; }
    int64_t Get(int y, int x, bool ASigned) { return LoadLE(At(y, x), FBytes, ASigned); }
    void Put(int y, int x, int64_t AValue) { StoreLE(At(y, x), FBytes, AValue); }
    const std::vector<uint8_t>& Bytes() const { return FMemory; }

    // True when every byte outside the samples still holds the sentinel.
    bool PaddingUntouched() const
    {
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

// Round to nearest, ties to even, by looking at the fraction.
double RoundHalfEvenRef(double AValue)
{
    const double LFloor = std::floor(AValue);
    const double LFraction = AValue - LFloor;
    if (LFraction > 0.5)
        return LFloor + 1;
    if (LFraction < 0.5)
        return LFloor;
    return std::fmod(LFloor, 2.0) == 0 ? LFloor : LFloor + 1;
}

int64_t SaturateRef(double AValue, int64_t AMin, int64_t AMax)
{
    if (std::isnan(AValue))
        return 0;
    if (AValue <= static_cast<double>(AMin))
        return AMin;
    if (AValue >= static_cast<double>(AMax))
        return AMax;
    return static_cast<int64_t>(AValue);
}

// Fixed-seed samples in [AMin, AMax], the limits and the values around zero
// first.
std::vector<int64_t> TestValues(size_t ACount, int64_t AMin, int64_t AMax, int64_t AZero, uint32_t ASeed)
{
    std::vector<int64_t> LValues{AMin, AMax, AMin + 1, AMax - 1, AZero, AZero + 1, AZero - 1, AZero + 3, AZero - 3};
    std::mt19937 LRandom(ASeed);
    std::uniform_int_distribution<int64_t> LDistribution(AMin, AMax);
    while (LValues.size() < ACount)
        LValues.push_back(LDistribution(LRandom));
    LValues.resize(ACount);
    return LValues;
}

const std::vector<IppiSize> CRois{{1, 1}, {3, 1}, {7, 3}, {17, 2}, {33, 5}, {1023, 1}, {1, 9}};
const std::vector<int> CPaddings{0, 4, 12};

// Describes the position of a failing sample.
std::string Where(IppiSize ARoi, int APadding, int y, int x)
{
    return "roi " + std::to_string(ARoi.width) + "x" + std::to_string(ARoi.height) + ", padding " +
           std::to_string(APadding) + ", row " + std::to_string(y) + ", sample " + std::to_string(x);
}

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
    static constexpr const char* Name = W::Bytes == 1 ? "8u" : W::Bytes == 2 ? "16s" : W::Bytes == 3 ? "24s" : "32s";
    static IppStatus Run(double AFactor, uint8_t* AData, int32_t AStep, IppiSize ARoi)
    {
        return AKernel(AFactor, W::Cast(AData), AStep, ARoi);
    }
    // Rounded in the offset-free domain, then saturated.
    static int64_t Reference(int64_t AValue, double AFactor)
    {
        const double LProduct = static_cast<double>(AValue - W::Zero) * AFactor;
        const double LRounded = std::isfinite(LProduct) ? RoundHalfEvenRef(LProduct) : LProduct;
        return SaturateRef(LRounded, W::Min - W::Zero, W::Max - W::Zero) + W::Zero;
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

TYPED_TEST(MultiplyByRealTest, MatchesReferenceOnOddPaddedRegions)
{
    using K = TypeParam;
    const double LFactors[] = {0.0, 1.0, -1.0, 0.5, 2.0, 0.3, -0.7, 1.5, 3.9, 1e10, -1e10,
                               std::numeric_limits<double>::infinity()};
    uint32_t LSeed = 1;
    for (const IppiSize LRoi : CRois)
        for (const int LPadding : CPaddings)
            for (const double LFactor : LFactors) {
                TRegion LRegion(K::Bytes, LRoi, LPadding);
                const auto LValues = TestValues(size_t(LRoi.width) * LRoi.height, K::Min, K::Max, K::Zero, LSeed++);
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x)
                        LRegion.Put(y, x, LValues[size_t(y) * LRoi.width + x]);
                ASSERT_EQ(K::Run(LFactor, LRegion.Data(), LRegion.Step(), LRoi), ippStsNoErr);
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x)
                        ASSERT_EQ(LRegion.Get(y, x, K::Signed),
                                  K::Reference(LValues[size_t(y) * LRoi.width + x], LFactor))
                            << "factor " << LFactor << ", " << Where(LRoi, LPadding, y, x);
                ASSERT_TRUE(LRegion.PaddingUntouched()) << Where(LRoi, LPadding, 0, 0);
            }
}

TYPED_TEST(MultiplyByRealTest, SaturatesAtTheWidthsLimits)
{
    using K = TypeParam;
    const auto LDoubled = this->MultiplyRow({K::Max, K::Min, K::Max - 1}, 2.0);
    EXPECT_EQ(LDoubled, (std::vector<int64_t>{K::Max, K::Min, K::Max}));
    // -Min is one beyond Max; -Max fits.
    const auto LNegated = this->MultiplyRow({K::Min, K::Max}, -1.0);
    EXPECT_EQ(LNegated, (std::vector<int64_t>{K::Max, 2 * K::Zero - K::Max}));
}

TYPED_TEST(MultiplyByRealTest, RoundsTiesToEven)
{
    using K = TypeParam;
    const int64_t z = K::Zero;
    EXPECT_EQ(this->MultiplyRow({z + 3, z + 5, z - 3, z + 1, z - 1, z + 7, z - 5}, 0.5),
              (std::vector<int64_t>{z + 2, z + 2, z - 2, z, z, z + 4, z - 2}));
    EXPECT_EQ(this->MultiplyRow({z + 1, z - 1}, 2.5), (std::vector<int64_t>{z + 2, z - 2}));
}

TYPED_TEST(MultiplyByRealTest, NaNFactorGivesSilence)
{
    using K = TypeParam;
    EXPECT_EQ(this->MultiplyRow({K::Max, K::Min, K::Zero + 1}, std::nan("")),
              (std::vector<int64_t>{K::Zero, K::Zero, K::Zero}));
    // 0 * infinity is NaN as well.
    EXPECT_EQ(this->MultiplyRow({K::Zero}, std::numeric_limits<double>::infinity()), (std::vector<int64_t>{K::Zero}));
}

TYPED_TEST(MultiplyByRealTest, ReportsErrorsBeforeWriting)
{
    using K = TypeParam;
    ExpectRegionErrors(K::Bytes, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        // One region: the second pointer and step stand in for it too.
        return K::Run(2.0, p2 == nullptr ? nullptr : p1, std::min(s1, s2), roi);
    });
}

// ---------------------------------------------------------------- Add

template <class W, auto AKernel, bool AScaled>
struct TAddKind : W {
    static constexpr const char* Name =
        W::Bytes == 1 ? (W::Signed ? "8s" : "8u_offset") : W::Bytes == 2 ? "16s" : W::Bytes == 3 ? "24s" : "32s";
    static constexpr bool Scaled = AScaled;
    static IppStatus Run(const uint8_t* ASrc, int32_t ASrcStep, uint8_t* ASrcDst, int32_t ASrcDstStep, IppiSize ARoi,
                         int32_t AScale)
    {
        if constexpr (AScaled)
            return AKernel(W::Cast(ASrc), ASrcStep, W::Cast(ASrcDst), ASrcDstStep, ARoi, AScale);
        else
            return AKernel(W::Cast(ASrc), ASrcStep, W::Cast(ASrcDst), ASrcDstStep, ARoi);
    }
    // (a + b) * 2^-scale, exact in long double, rounded half to even.
    static int64_t Reference(int64_t A, int64_t B, int32_t AScale)
    {
        const long double LScaled = std::ldexp(static_cast<long double>((A - W::Zero) + (B - W::Zero)), -AScale);
        const long double LFloor = std::floor(LScaled);
        const long double LFraction = LScaled - LFloor;
        long double LRounded = LFraction > 0.5L ? LFloor + 1 : LFloor;
        if (LFraction == 0.5L && std::fmod(LFloor, 2.0L) != 0)
            LRounded = LFloor + 1;
        const long double LLow = W::Min - W::Zero;
        const long double LHigh = W::Max - W::Zero;
        return static_cast<int64_t>(LRounded < LLow ? LLow : (LRounded > LHigh ? LHigh : LRounded)) + W::Zero;
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

TYPED_TEST(AddTest, MatchesReferenceOnOddPaddedRegions)
{
    using K = TypeParam;
    std::vector<int32_t> LScales{0};
    if (K::Scaled)
        LScales = {0, 1, 2, 3, 7, -1, -2, -31, -40, 31, 40};
    uint32_t LSeed = 100;
    for (const IppiSize LRoi : CRois)
        for (const int LPadding : CPaddings)
            for (const int32_t LScale : LScales) {
                // Different paddings on the two sides: the rows do not line up.
                TRegion LSrc(K::Bytes, LRoi, LPadding);
                TRegion LDst(K::Bytes, LRoi, 12 - LPadding);
                const size_t LCount = size_t(LRoi.width) * LRoi.height;
                const auto a = TestValues(LCount, K::Min, K::Max, K::Zero, LSeed++);
                auto b = TestValues(LCount, K::Min, K::Max, K::Zero, LSeed++);
                std::reverse(b.begin(), b.end());
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x) {
                        LSrc.Put(y, x, a[size_t(y) * LRoi.width + x]);
                        LDst.Put(y, x, b[size_t(y) * LRoi.width + x]);
                    }
                ASSERT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), LRoi, LScale), ippStsNoErr);
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x) {
                        const size_t i = size_t(y) * LRoi.width + x;
                        ASSERT_EQ(LDst.Get(y, x, K::Signed), K::Reference(a[i], b[i], LScale))
                            << a[i] << " + " << b[i] << ", scale " << LScale << ", " << Where(LRoi, LPadding, y, x);
                        ASSERT_EQ(LSrc.Get(y, x, K::Signed), a[i]) << "the source is only read";
                    }
                ASSERT_TRUE(LSrc.PaddingUntouched());
                ASSERT_TRUE(LDst.PaddingUntouched());
            }
}

TYPED_TEST(AddTest, SaturatesAtTheWidthsLimits)
{
    using K = TypeParam;
    const int64_t z = K::Zero;
    EXPECT_EQ(this->AddRow({K::Max, K::Min, K::Max, K::Min, K::Max, z + 5},
                           {K::Max, K::Min, z + 1, z - 1, K::Min, z - 7}),
              (std::vector<int64_t>{K::Max, K::Min, K::Max, K::Min, K::Max + K::Min - z, z - 2}));
}

TYPED_TEST(AddTest, ReportsErrorsBeforeWriting)
{
    using K = TypeParam;
    ExpectRegionErrors(K::Bytes, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        return K::Run(p1, s1, p2, s2, roi, 0);
    });
}

using TScaledAddKinds =
    ::testing::Types<TAddKind<TW8s, ippiAdd_8s_C1IRSfs, true>, TAddKind<TW16s, ippiAdd_16s_C1IRSfs, true>,
                     TAddKind<TW24s, ippiAdd_24s_C1IRSfs, true>, TAddKind<TW32s, ippiAdd_32s_C1IRSfs, true>>;

template <class K>
class ScaledAddTest : public AddTest<K> {};
TYPED_TEST_SUITE(ScaledAddTest, TScaledAddKinds, TKindNames);

TYPED_TEST(ScaledAddTest, ScaleFactorRoundsTiesToEven)
{
    using K = TypeParam;
    // Sums 3, 1, 5, -3, -1, -5, 6 halved.
    EXPECT_EQ(this->AddRow({1, 0, 2, -1, 0, -2, 3}, {2, 1, 3, -2, -1, -3, 3}, 1),
              (std::vector<int64_t>{2, 0, 2, -2, 0, -2, 3}));
    // A negative scale factor multiplies, still saturating.
    EXPECT_EQ(this->AddRow({3, K::Max, -1}, {4, 0, -2}, -1), (std::vector<int64_t>{14, K::Max, -6}));
}

TEST(AddHandTest, Limits)
{
    Ipp16s a16[] = {30000, -30000, 100};
    Ipp16s b16[] = {10000, -10000, -300};
    ASSERT_EQ(ippiAdd_16s_C1IRSfs(a16, 6, b16, 6, {3, 1}, 0), ippStsNoErr);
    EXPECT_EQ(b16[0], 32767);
    EXPECT_EQ(b16[1], -32768);
    EXPECT_EQ(b16[2], -200);

    Ipp32s a32[] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX};
    Ipp32s b32[] = {1, -1, INT32_MIN, INT32_MAX};
    ASSERT_EQ(ippiAdd_32s_C1IRSfs(a32, 16, b32, 16, {4, 1}, 0), ippStsNoErr);
    EXPECT_EQ(b32[0], INT32_MAX);
    EXPECT_EQ(b32[1], INT32_MIN);
    EXPECT_EQ(b32[2], -1);
    EXPECT_EQ(b32[3], INT32_MAX);

    uint8_t a24[] = {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80};  // 8388607, -8388608
    uint8_t b24[] = {0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF};  // 1, -1
    ASSERT_EQ(ippiAdd_24s_C1IRSfs(a24, 6, b24, 6, {2, 1}, 0), ippStsNoErr);
    EXPECT_EQ(Convert24BitTo32Bit(b24), 8388607);
    EXPECT_EQ(Convert24BitTo32Bit(b24 + 3), -8388608);

    // Unsigned 8-bit around 128: 200 is +72, 50 is -78.
    uint8_t a8[] = {200, 50, 128, 130};
    uint8_t b8[] = {200, 50, 77, 120};
    ASSERT_EQ(AddOffset8uI(a8, 4, b8, 4, {4, 1}), ippStsNoErr);
    EXPECT_EQ(b8[0], 255);
    EXPECT_EQ(b8[1], 0);
    EXPECT_EQ(b8[2], 77);
    EXPECT_EQ(b8[3], 122);
}

// ---------------------------------------------------------------- Set

template <class W, class TValue, IppStatus (*AKernel)(TValue, typename W::Elem*, int32_t, IppiSize)>
struct TSetKind : W {
    static constexpr const char* Name = W::Bytes == 1 ? "8u" : W::Bytes == 2 ? "16s" : W::Bytes == 3 ? "24s" : "32s";
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

TYPED_TEST(SetTest, FillsOnlyTheRegion)
{
    using K = TypeParam;
    for (const IppiSize LRoi : CRois)
        for (const int LPadding : CPaddings)
            for (const int64_t LValue : {K::Min, K::Max, K::Zero, K::Zero - 1}) {
                TRegion LRegion(K::Bytes, LRoi, LPadding);
                ASSERT_EQ(K::Run(LValue, LRegion.Data(), LRegion.Step(), LRoi), ippStsNoErr);
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x)
                        ASSERT_EQ(LRegion.Get(y, x, K::Signed), LValue) << Where(LRoi, LPadding, y, x);
                ASSERT_TRUE(LRegion.PaddingUntouched()) << Where(LRoi, LPadding, 0, 0);
            }
}

TYPED_TEST(SetTest, ReportsErrorsBeforeWriting)
{
    using K = TypeParam;
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
    static constexpr const char* Name = W::Bytes == 1 ? "8u" : W::Bytes == 2 ? "16s" : W::Bytes == 3 ? "24s" : "32s";
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

TYPED_TEST(ToFloatTest, ConvertsEverySample)
{
    using K = TypeParam;
    uint32_t LSeed = 200;
    for (const IppiSize LRoi : CRois)
        for (const int LPadding : CPaddings) {
            TRegion LSrc(K::Bytes, LRoi, LPadding);
            TRegion LDst(4, LRoi, 12 - LPadding);
            const auto LValues = TestValues(size_t(LRoi.width) * LRoi.height, K::Min, K::Max, K::Zero, LSeed++);
            for (int y = 0; y < LRoi.height; ++y)
                for (int x = 0; x < LRoi.width; ++x)
                    LSrc.Put(y, x, LValues[size_t(y) * LRoi.width + x]);
            ASSERT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), LRoi), ippStsNoErr);
            for (int y = 0; y < LRoi.height; ++y)
                for (int x = 0; x < LRoi.width; ++x) {
                    float LResult;
                    std::memcpy(&LResult, LDst.At(y, x), 4);
                    // The offset of unsigned 8-bit samples stays in.
                    ASSERT_EQ(LResult, static_cast<float>(LValues[size_t(y) * LRoi.width + x]))
                        << Where(LRoi, LPadding, y, x);
                }
            ASSERT_TRUE(LDst.PaddingUntouched()) << Where(LRoi, LPadding, 0, 0);
        }
}

TYPED_TEST(ToFloatTest, ReportsErrorsBeforeWriting)
{
    using K = TypeParam;
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
    static constexpr const char* Name = W::Bytes == 1 ? "8u" : W::Bytes == 2 ? "16s" : W::Bytes == 3 ? "24s" : "32s";
    static IppStatus Run(const uint8_t* ASrc, int32_t ASrcStep, uint8_t* ADst, int32_t ADstStep, IppiSize ARoi,
                         IppRoundMode AMode)
    {
        return AKernel(reinterpret_cast<const Ipp32f*>(ASrc), ASrcStep, W::Cast(ADst), ADstStep, ARoi, AMode);
    }
    static int64_t Reference(float AValue, IppRoundMode AMode)
    {
        const double x = AValue;
        if (!std::isfinite(x))
            return SaturateRef(x, W::Min, W::Max);
        return SaturateRef(AMode == ippRndNear ? RoundHalfEvenRef(x) : std::trunc(x), W::Min, W::Max);
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

TYPED_TEST(FromFloatTest, MatchesReferenceInBothRoundModes)
{
    using K = TypeParam;
    std::mt19937 LRandom(300);
    const double LSpan = static_cast<double>(K::Max - K::Min);
    std::uniform_real_distribution<double> LDistribution(K::Min - 0.1 * LSpan, K::Max + 0.1 * LSpan);
    for (const IppRoundMode LMode : {ippRndNear, ippRndZero})
        for (const IppiSize LRoi : CRois)
            for (const int LPadding : CPaddings) {
                TRegion LSrc(4, LRoi, LPadding);
                TRegion LDst(K::Bytes, LRoi, 12 - LPadding);
                std::vector<float> LValues{0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 0.49999997f, -7.75f,
                                           std::numeric_limits<float>::infinity(), -1e30f,
                                           std::numeric_limits<float>::quiet_NaN(), static_cast<float>(K::Max),
                                           static_cast<float>(K::Min)};
                while (LValues.size() < size_t(LRoi.width) * LRoi.height)
                    LValues.push_back(static_cast<float>(LDistribution(LRandom)));
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x)
                        std::memcpy(LSrc.At(y, x), &LValues[size_t(y) * LRoi.width + x], 4);
                ASSERT_EQ(K::Run(LSrc.Data(), LSrc.Step(), LDst.Data(), LDst.Step(), LRoi, LMode), ippStsNoErr);
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width; ++x) {
                        const float LValue = LValues[size_t(y) * LRoi.width + x];
                        ASSERT_EQ(LDst.Get(y, x, K::Signed), K::Reference(LValue, LMode))
                            << LValue << ", mode " << LMode << ", " << Where(LRoi, LPadding, y, x);
                    }
                ASSERT_TRUE(LDst.PaddingUntouched()) << Where(LRoi, LPadding, 0, 0);
            }
}

TYPED_TEST(FromFloatTest, SaturatesAndRoundsTiesToEven)
{
    using K = TypeParam;
    const auto LMax = static_cast<float>(K::Max);
    const auto LMin = static_cast<float>(K::Min);
    EXPECT_EQ(this->ConvertRow({LMax * 2, LMin * 2 - 1, 1e38f, -1e38f}, ippRndNear),
              (std::vector<int64_t>{K::Max, K::Min, K::Max, K::Min}));
    if constexpr (K::Signed)
        EXPECT_EQ(this->ConvertRow({0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 2.7f, -2.7f}, ippRndNear),
                  (std::vector<int64_t>{0, 2, 2, 0, -2, -2, 3, -3}));
    else
        EXPECT_EQ(this->ConvertRow({0.5f, 1.5f, 2.5f, -0.5f, 254.5f, 255.5f, 2.7f}, ippRndNear),
                  (std::vector<int64_t>{0, 2, 2, 0, 254, 255, 3}));
    EXPECT_EQ(this->ConvertRow({2.7f, 1.5f}, ippRndZero), (std::vector<int64_t>{2, 1}));
}

TYPED_TEST(FromFloatTest, ReportsErrorsBeforeWriting)
{
    using K = TypeParam;
    ExpectRegionErrors(4, K::Bytes, [](uint8_t* p1, int s1, uint8_t* p2, int s2, IppiSize roi) {
        return K::Run(p1, s1, p2, s2, roi, ippRndNear);
    });
}

TEST(ConvertTest, ScaleFactorOf32BitConversion)
{
    const float LSrc[] = {3.0f, 5.0f, -3.0f, 1.5f, 1e9f, 7.0f};
    Ipp32s LDst[6] = {};
    ASSERT_EQ(ippiConvert_32f32s_C1RSfs(LSrc, 12, LDst, 12, {3, 1}, ippRndNear, 1), ippStsNoErr);
    EXPECT_EQ(LDst[0], 2);  // 1.5
    EXPECT_EQ(LDst[1], 2);  // 2.5
    EXPECT_EQ(LDst[2], -2); // -1.5
    ASSERT_EQ(ippiConvert_32f32s_C1RSfs(LSrc + 3, 12, LDst + 3, 12, {3, 1}, ippRndNear, -4), ippStsNoErr);
    EXPECT_EQ(LDst[3], 24);
    EXPECT_EQ(LDst[4], INT32_MAX);
    EXPECT_EQ(LDst[5], 112);
    ASSERT_EQ(ippiConvert_32f32s_C1RSfs(LSrc, 4, LDst, 4, {1, 1}, ippRndZero, 1), ippStsNoErr);
    EXPECT_EQ(LDst[0], 1);
}

TEST(ConvertTest, ColumnOfInterleavedStereo)
{
    // The left channel of 5 stereo frames, one sample wide and 5 rows high.
    const Ipp16s LFrames[10] = {1, -1, 2, -2, 3, -3, 32767, 0, -32768, 0};
    float LLeft[5] = {};
    ASSERT_EQ(ippiConvert_16s32f_C1R(LFrames, 4, LLeft, 4, {1, 5}), ippStsNoErr);
    EXPECT_EQ(LLeft[0], 1.0f);
    EXPECT_EQ(LLeft[2], 3.0f);
    EXPECT_EQ(LLeft[3], 32767.0f);
    EXPECT_EQ(LLeft[4], -32768.0f);
    Ipp16s LBack[10] = {};
    ASSERT_EQ(ippiConvert_32f16s_C1R(LLeft, 4, LBack + 1, 4, {1, 5}, ippRndNear), ippStsNoErr);
    EXPECT_EQ(LBack[1], 1);
    EXPECT_EQ(LBack[0], 0) << "the other channel stays";
    EXPECT_EQ(LBack[9], -32768);
}

// ---------------------------------------------------------------- 24-bit helpers

TEST(TwentyFourBitTest, ReadsSignExtended)
{
    const uint8_t LMinimum[] = {0x00, 0x00, 0x80};
    const uint8_t LMinusOne[] = {0xFF, 0xFF, 0xFF};
    const uint8_t LMaximum[] = {0xFF, 0xFF, 0x7F};
    const uint8_t LOne[] = {0x01, 0x00, 0x00};
    const uint8_t LPattern[] = {0x56, 0x34, 0x12};
    const uint8_t LNegative[] = {0x56, 0x34, 0xA2};
    EXPECT_EQ(Convert24BitTo32Bit(LMinimum), -8388608);
    EXPECT_EQ(Convert24BitTo32Bit(LMinusOne), -1);
    EXPECT_EQ(Convert24BitTo32Bit(LMaximum), 8388607);
    EXPECT_EQ(Convert24BitTo32Bit(LOne), 1);
    EXPECT_EQ(Convert24BitTo32Bit(LPattern), 0x123456);
    EXPECT_EQ(Convert24BitTo32Bit(LNegative), 0xA23456 - 0x1000000);
}

TEST(TwentyFourBitTest, WritesExactlyThreeBytes)
{
    const struct {
        int32_t Value;
        uint8_t Bytes[3];
    } LCases[] = {{-1, {0xFF, 0xFF, 0xFF}},
                  {-8388608, {0x00, 0x00, 0x80}},
                  {8388607, {0xFF, 0xFF, 0x7F}},
                  {0x123456, {0x56, 0x34, 0x12}},
                  {0x7E123456, {0x56, 0x34, 0x12}}};
    for (const auto& LCase : LCases) {
        uint8_t LMemory[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        Convert32BitTo24Bit(LCase.Value, LMemory + 1);
        EXPECT_EQ(LMemory[0], 0xEE) << LCase.Value;
        EXPECT_EQ(LMemory[1], LCase.Bytes[0]) << LCase.Value;
        EXPECT_EQ(LMemory[2], LCase.Bytes[1]) << LCase.Value;
        EXPECT_EQ(LMemory[3], LCase.Bytes[2]) << LCase.Value;
        EXPECT_EQ(LMemory[4], 0xEE) << "the fourth byte is not touched, " << LCase.Value;
    }
}

TEST(TwentyFourBitTest, RoundTripsTheWholeRangeEdges)
{
    for (int32_t LValue = -8388608; LValue <= 8388607; LValue += 4099) {
        uint8_t LBytes[3];
        Convert32BitTo24Bit(LValue, LBytes);
        ASSERT_EQ(Convert24BitTo32Bit(LBytes), LValue);
    }
}

TEST(MultiplyByRealHandTest, SixteenBit)
{
    Ipp16s LSamples[] = {32767, -32768, 3, 5, -3, 1000, -1};
    ASSERT_EQ(MultiplyByReal16sI(2.0, LSamples, 4, {2, 1}), ippStsNoErr);
    ASSERT_EQ(MultiplyByReal16sI(0.5, LSamples + 2, 6, {3, 1}), ippStsNoErr);
    EXPECT_EQ(LSamples[0], 32767);
    EXPECT_EQ(LSamples[1], -32768);
    EXPECT_EQ(LSamples[2], 2);
    EXPECT_EQ(LSamples[3], 2);
    EXPECT_EQ(LSamples[4], -2);
    EXPECT_EQ(LSamples[5], 1000) << "outside the region";
    EXPECT_EQ(LSamples[6], -1) << "outside the region";
}

TEST(MultiplyByRealHandTest, EightBitScalesAround128)
{
    uint8_t LSamples[] = {255, 0, 128, 131, 125, 200};
    ASSERT_EQ(MultiplyByReal8uI(2.0, LSamples, 3, {3, 1}), ippStsNoErr);
    ASSERT_EQ(MultiplyByReal8uI(0.5, LSamples + 3, 3, {3, 1}), ippStsNoErr);
    EXPECT_EQ(LSamples[0], 255);
    EXPECT_EQ(LSamples[1], 0);
    EXPECT_EQ(LSamples[2], 128);
    EXPECT_EQ(LSamples[3], 130); // +3 * 0.5 = 1.5 -> 2
    EXPECT_EQ(LSamples[4], 126); // -3 * 0.5 = -1.5 -> -2
    EXPECT_EQ(LSamples[5], 164); // +72 * 0.5 = 36
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
