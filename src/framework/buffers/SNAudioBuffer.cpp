// SPDX-License-Identifier: MIT
#include "SNAudioBuffer.h"
#include "SNAudioBufferArithmetic.h"

#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace Sonorix {

namespace {

constexpr uint32_t CMaxChannels = 32;

[[noreturn]] void ThrowBadWidth(uint32_t ABits)
{
    throw EAssertionFailed("unsupported sample width: " + std::to_string(ABits) + " bits (8, 16, 24 or 32 expected)");
}

void CheckLayout(uint32_t ABits, uint32_t AChannels)
{
    if (ABits != 8 && ABits != 16 && ABits != 24 && ABits != 32)
        ThrowBadWidth(ABits);
    if (AChannels < 1 || AChannels > CMaxChannels)
        throw EAssertionFailed("unsupported channel count: " + std::to_string(AChannels) + " (1 to " +
                               std::to_string(CMaxChannels) + " expected)");
}

void CheckStatus(IppStatus AStatus, const char* AOperation)
{
    if (AStatus != ippStsNoErr)
        throw EAssertionFailed(std::string(AOperation) + ": region primitive failed with status " +
                               std::to_string(AStatus));
}

// One row per sample width: the stored value of zero and the region
// primitives the buffer's operations use, each over ACount packed samples.
template <uint32_t ABits>
struct TWidth;

template <>
struct TWidth<8> {
    static constexpr int32_t Offset = 128;
    static IppStatus Multiply(double AValue, uint8_t* AData, int32_t ACount)
    {
        return MultiplyByReal8uI(AValue, AData, ACount, {ACount, 1});
    }
    static IppStatus Add(const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return AddOffset8uI(ASrc, ACount, ADst, ACount, {ACount, 1});
    }
    static IppStatus AddProduct(double AValue, const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return AddProductOfReal8uI(AValue, ASrc, ACount, ADst, ACount, {ACount, 1});
    }
    static IppStatus SetSilence(uint8_t* ADst, int32_t ACount) { return ippiSet_8u_C1R(128, ADst, ACount, {ACount, 1}); }
};

template <>
struct TWidth<16> {
    static constexpr int32_t Offset = 0;
    static IppStatus Multiply(double AValue, uint8_t* AData, int32_t ACount)
    {
        return MultiplyByReal16sI(AValue, reinterpret_cast<Ipp16s*>(AData), 2 * ACount, {ACount, 1});
    }
    static IppStatus Add(const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return ippiAdd_16s_C1IRSfs(reinterpret_cast<const Ipp16s*>(ASrc), 2 * ACount, reinterpret_cast<Ipp16s*>(ADst),
                                   2 * ACount, {ACount, 1}, 0);
    }
    static IppStatus AddProduct(double AValue, const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return AddProductOfReal16sI(AValue, reinterpret_cast<const Ipp16s*>(ASrc), 2 * ACount,
                                    reinterpret_cast<Ipp16s*>(ADst), 2 * ACount, {ACount, 1});
    }
    static IppStatus SetSilence(uint8_t* ADst, int32_t ACount)
    {
        return ippiSet_16s_C1R(0, reinterpret_cast<Ipp16s*>(ADst), 2 * ACount, {ACount, 1});
    }
};

template <>
struct TWidth<24> {
    static constexpr int32_t Offset = 0;
    static IppStatus Multiply(double AValue, uint8_t* AData, int32_t ACount)
    {
        return MultiplyByReal24sI(AValue, AData, 3 * ACount, {ACount, 1});
    }
    static IppStatus Add(const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return ippiAdd_24s_C1IRSfs(ASrc, 3 * ACount, ADst, 3 * ACount, {ACount, 1}, 0);
    }
    static IppStatus AddProduct(double AValue, const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return AddProductOfReal24sI(AValue, ASrc, 3 * ACount, ADst, 3 * ACount, {ACount, 1});
    }
    static IppStatus SetSilence(uint8_t* ADst, int32_t ACount) { return ippiSet_24s_C1R(0, ADst, 3 * ACount, {ACount, 1}); }
};

template <>
struct TWidth<32> {
    static constexpr int32_t Offset = 0;
    static IppStatus Multiply(double AValue, uint8_t* AData, int32_t ACount)
    {
        return MultiplyByReal32sI(AValue, reinterpret_cast<Ipp32s*>(AData), 4 * ACount, {ACount, 1});
    }
    static IppStatus Add(const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return ippiAdd_32s_C1IRSfs(reinterpret_cast<const Ipp32s*>(ASrc), 4 * ACount, reinterpret_cast<Ipp32s*>(ADst),
                                   4 * ACount, {ACount, 1}, 0);
    }
    static IppStatus AddProduct(double AValue, const uint8_t* ASrc, uint8_t* ADst, int32_t ACount)
    {
        return AddProductOfReal32sI(AValue, reinterpret_cast<const Ipp32s*>(ASrc), 4 * ACount,
                                    reinterpret_cast<Ipp32s*>(ADst), 4 * ACount, {ACount, 1});
    }
    static IppStatus SetSilence(uint8_t* ADst, int32_t ACount)
    {
        return ippiSet_32s_C1R(0, reinterpret_cast<Ipp32s*>(ADst), 4 * ACount, {ACount, 1});
    }
};

// Calls AFn with the TWidth row of ABits.
template <class F>
auto VisitWidth(uint32_t ABits, F&& AFn)
{
    switch (ABits) {
    case 8: return AFn(TWidth<8>{});
    case 16: return AFn(TWidth<16>{});
    case 24: return AFn(TWidth<24>{});
    case 32: return AFn(TWidth<32>{});
    default: ThrowBadWidth(ABits);
    }
}

template <uint32_t ABits>
constexpr uint32_t BitsOf(TWidth<ABits>)
{
    return ABits;
}

// Stored value of sample AIndex of packed data; memcpy keeps unaligned
// blocks legal.
template <uint32_t ABits>
int32_t LoadRaw(const uint8_t* AData, size_t AIndex)
{
    const uint8_t* LSample = AData + AIndex * (ABits / 8);
    if constexpr (ABits == 8) {
        return *LSample;
    } else if constexpr (ABits == 16) {
        int16_t LValue;
        std::memcpy(&LValue, LSample, sizeof LValue);
        return LValue;
    } else if constexpr (ABits == 24) {
        return Convert24BitTo32Bit(LSample);
    } else {
        int32_t LValue;
        std::memcpy(&LValue, LSample, sizeof LValue);
        return LValue;
    }
}

template <uint32_t ABits>
void StoreRaw(uint8_t* AData, size_t AIndex, int32_t AValue)
{
    uint8_t* LSample = AData + AIndex * (ABits / 8);
    if constexpr (ABits == 8) {
        *LSample = static_cast<uint8_t>(AValue);
    } else if constexpr (ABits == 16) {
        const auto LValue = static_cast<int16_t>(AValue);
        std::memcpy(LSample, &LValue, sizeof LValue);
    } else if constexpr (ABits == 24) {
        Convert32BitTo24Bit(AValue, LSample);
    } else {
        std::memcpy(LSample, &AValue, sizeof AValue);
    }
}

// A stored value as a signed 32-bit sample (offset removed, shifted to the top
// bits), and back. Every width conversion goes through this form.
template <uint32_t ABits>
int32_t ToFull(int32_t ARaw)
{
    return static_cast<int32_t>(static_cast<uint32_t>(ARaw - TWidth<ABits>::Offset) << (32 - ABits));
}

template <uint32_t ABits>
int32_t FromFull(int32_t AFull)
{
    return (AFull >> (32 - ABits)) + TWidth<ABits>::Offset;
}

int64_t FloorDiv(int64_t ANumerator, int64_t ADenominator)
{
    const int64_t LQuotient = ANumerator / ADenominator;
    return LQuotient - ((ANumerator % ADenominator) < 0 ? 1 : 0);
}

// Runs AFn(first byte, count) over ASamples samples of ABytes each, in pieces
// whose sample count and byte step fit the primitives' 32-bit sizes.
template <class F>
void ForEachPiece(uint64_t ASamples, uint32_t ABytes, const char* AOperation, F&& AFn)
{
    constexpr uint64_t CPiece = uint64_t{1} << 28;
    for (uint64_t LFirst = 0; LFirst < ASamples; LFirst += CPiece) {
        const auto LCount = static_cast<int32_t>(std::min(CPiece, ASamples - LFirst));
        CheckStatus(AFn(static_cast<size_t>(LFirst * ABytes), LCount), AOperation);
    }
}

// Converts AFrames frames between two layouts; see ISNAudioBuffer::CopyTo.
template <uint32_t ASrcBits, uint32_t ADstBits>
void ConvertFrames(const uint8_t* ASrc, uint32_t ASrcChannels, uint8_t* ADst, uint32_t ADstChannels, uint32_t AFrames)
{
    const auto LConvert = [](int32_t ARaw) { return FromFull<ADstBits>(ToFull<ASrcBits>(ARaw)); };
    // Equal channel counts go to ConvertSampleWidth.
    if (ASrcChannels == 1) {
        for (size_t f = 0; f < AFrames; ++f) {
            const int32_t LValue = LConvert(LoadRaw<ASrcBits>(ASrc, f));
            for (size_t c = 0; c < ADstChannels; ++c)
                StoreRaw<ADstBits>(ADst, f * ADstChannels + c, LValue);
        }
    } else if (ADstChannels == 1) {
        // Flooring the mean of the 32-bit forms and then shifting right
        // floors the mean at the destination width in one step.
        for (size_t f = 0; f < AFrames; ++f) {
            int64_t LSum = 0;
            for (size_t c = 0; c < ASrcChannels; ++c)
                LSum += ToFull<ASrcBits>(LoadRaw<ASrcBits>(ASrc, f * ASrcChannels + c));
            StoreRaw<ADstBits>(ADst, f, FromFull<ADstBits>(static_cast<int32_t>(FloorDiv(LSum, ASrcChannels))));
        }
    } else {
        const size_t LShared = std::min(ASrcChannels, ADstChannels);
        // The channels the source lacks are silenced in one pass over the
        // whole region rather than a short fill per frame.
        if (ADstChannels > LShared)
            ForEachPiece(uint64_t{AFrames} * ADstChannels, ADstBits / 8, "CopyTo", [&](size_t AByte, int32_t ACount) {
                return TWidth<ADstBits>::SetSilence(ADst + AByte, ACount);
            });
        for (size_t f = 0; f < AFrames; ++f)
            for (size_t c = 0; c < LShared; ++c)
                StoreRaw<ADstBits>(ADst, f * ADstChannels + c, LConvert(LoadRaw<ASrcBits>(ASrc, f * ASrcChannels + c)));
    }
}

struct TLayout {
    uint32_t SampleRate;
    uint32_t Bits;
    uint32_t Channels;
    uint32_t ChannelMask;
};

TLayout ReadFormat(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const WAVEFORMATEX& LFormat = AFormat.Format;
    const bool LExtensible = LFormat.wFormatTag == WAVE_FORMAT_EXTENSIBLE;
    if (LFormat.wFormatTag == WAVE_FORMAT_IEEE_FLOAT || (LExtensible && AFormat.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT))
        throw EAssertionFailed("floating-point samples are not supported (" + DescribeWaveFormat(AFormat) + ")");
    if (LFormat.wFormatTag != WAVE_FORMAT_PCM && !LExtensible)
        throw EAssertionFailed("unsupported format tag " + std::to_string(LFormat.wFormatTag) + " (" +
                               DescribeWaveFormat(AFormat) + ")");
    CheckLayout(LFormat.wBitsPerSample, LFormat.nChannels);
    const uint32_t LBlockAlign = uint32_t{LFormat.nChannels} * (LFormat.wBitsPerSample / 8);
    if (LFormat.nBlockAlign != 0 && LFormat.nBlockAlign != LBlockAlign)
        throw EAssertionFailed("unsupported block align " + std::to_string(LFormat.nBlockAlign) + " for " +
                               DescribeWaveFormat(AFormat) + " (" + std::to_string(LBlockAlign) + " expected)");
    return {LFormat.nSamplesPerSec, LFormat.wBitsPerSample, LFormat.nChannels, LExtensible ? AFormat.dwChannelMask : 0};
}

} // namespace

ISNAudioBufferPtr TSNAudioBuffer::CreateSize(uint32_t ASampleRate, uint32_t ABits, uint32_t AChannels,
                                             uint32_t AFrames)
{
    return CreateSizeEx(ASampleRate, ABits, AChannels, AFrames, 0);
}

ISNAudioBufferPtr TSNAudioBuffer::CreateSizeEx(uint32_t ASampleRate, uint32_t ABits, uint32_t AChannels,
                                               uint32_t AFrames, uint32_t AChannelMask)
{
    CheckLayout(ABits, AChannels);
    auto LData = TDGBlockBuffer::CreateSize(size_t{AFrames} * AChannels * (ABits / 8));
    auto LBuffer =
        MakePooled<TSNAudioBuffer>(TPrivate{}, ASampleRate, ABits, AChannels, AChannelMask, std::move(LData));
    // The block starts zeroed, which is silence for every width but 8 bits.
    if (ABits == 8)
        LBuffer->Zero();
    return LBuffer;
}

ISNAudioBufferPtr TSNAudioBuffer::CreateWaveFormat(const WAVEFORMATEXTENSIBLE& AFormat, uint32_t AFrames)
{
    const TLayout LLayout = ReadFormat(AFormat);
    return CreateSizeEx(LLayout.SampleRate, LLayout.Bits, LLayout.Channels, AFrames, LLayout.ChannelMask);
}

ISNAudioBufferPtr TSNAudioBuffer::CreateCopy(const ISNAudioBuffer& ASource)
{
    CheckLayout(ASource.GetBitsPerSample(), ASource.GetChannels());
    auto LData = TDGBlockBuffer::CreateSize(ASource.GetByteSize());
    if (ASource.GetByteSize() != 0)
        std::memcpy(LData->Write(), ASource.ByteRead(), ASource.GetByteSize());
    return MakePooled<TSNAudioBuffer>(TPrivate{}, ASource.GetSamplesPerSecond(), ASource.GetBitsPerSample(),
                                            ASource.GetChannels(), ASource.GetChannelMask(), std::move(LData));
}

ISNAudioBufferPtr TSNAudioBuffer::CreateUniversal(const WAVEFORMATEXTENSIBLE& AFormat, IDGBlockBufferPtr AData)
{
    const TLayout LLayout = ReadFormat(AFormat);
    if (!AData)
        throw EAssertionFailed("CreateUniversal: no data block for " + DescribeWaveFormat(AFormat));
    const uint64_t LFrames = AData->GetSize() / (LLayout.Channels * (LLayout.Bits / 8));
    if (LFrames > std::numeric_limits<uint32_t>::max())
        throw EAssertionFailed("CreateUniversal: a block of " + std::to_string(AData->GetSize()) + " bytes holds " +
                               std::to_string(LFrames) + " frames, more than a buffer can count");
    return MakePooled<TSNAudioBuffer>(TPrivate{}, LLayout.SampleRate, LLayout.Bits, LLayout.Channels,
                                            LLayout.ChannelMask, std::move(AData));
}

ISNAudioBufferPtr TSNAudioBuffer::MakeWritable(const ISNAudioBufferPtr& ABuffer)
{
    if (IsSoleReference(ABuffer) && ABuffer->OwnsSamplesAlone())
        return ABuffer;
    return CreateCopy(*ABuffer);
}

TSNAudioBuffer::TSNAudioBuffer(TPrivate, uint32_t ASampleRate, uint32_t ABits, uint32_t AChannels,
                               uint32_t AChannelMask, IDGBlockBufferPtr AData)
    : FSampleRate(ASampleRate),
      FBits(ABits),
      FChannels(AChannels),
      FChannelMask(AChannelMask != 0 ? AChannelMask : DefaultChannelMask(AChannels)),
      FData(std::move(AData))
{
}

uint32_t TSNAudioBuffer::GetSize() const
{
    // Derived from the block each time, so that a shared block resized by its
    // other owner never lets the buffer reach past its end.
    const uint64_t LFrames = FData->GetSize() / GetDataStep();
    return static_cast<uint32_t>(std::min<uint64_t>(LFrames, std::numeric_limits<uint32_t>::max()));
}

uint32_t TSNAudioBuffer::GetChannels() const
{
    return FChannels;
}

uint32_t TSNAudioBuffer::GetBitsPerSample() const
{
    return FBits;
}

uint32_t TSNAudioBuffer::GetSamplesPerSecond() const
{
    return FSampleRate;
}

uint32_t TSNAudioBuffer::GetChannelMask() const
{
    return FChannelMask;
}

WAVEFORMATEXTENSIBLE TSNAudioBuffer::GetWaveFormat() const
{
    return MakeWaveFormat(FSampleRate, FBits, FChannels, FChannelMask);
}

const void* TSNAudioBuffer::Read() const
{
    return FData->Read();
}

void* TSNAudioBuffer::Modify()
{
    return FData->Modify();
}

const uint8_t* TSNAudioBuffer::ByteRead() const
{
    return static_cast<const uint8_t*>(FData->Read());
}

uint8_t* TSNAudioBuffer::ByteWrite()
{
    return static_cast<uint8_t*>(FData->Modify());
}

size_t TSNAudioBuffer::GetByteSize() const
{
    return size_t{GetSize()} * GetDataStep();
}

uint32_t TSNAudioBuffer::GetDataStep() const
{
    return FChannels * (FBits / 8);
}

int32_t TSNAudioBuffer::GetItem(uint32_t AFrame, uint32_t AChannel) const
{
    if (AFrame >= GetSize() || AChannel >= FChannels)
        throw std::out_of_range("GetItem: frame " + std::to_string(AFrame) + ", channel " + std::to_string(AChannel) +
                                " is outside a buffer of " + std::to_string(GetSize()) + " frames and " +
                                std::to_string(FChannels) + " channels");
    const size_t LIndex = size_t{AFrame} * FChannels + AChannel;
    return VisitWidth(FBits, [&](auto AWidth) { return LoadRaw<BitsOf(AWidth)>(ByteRead(), LIndex); });
}

void TSNAudioBuffer::CopyTo(uint32_t ASourceOffset, ISNAudioBuffer& ADest, uint32_t ADestOffset, uint32_t ACount) const
{
    const uint32_t LSourceFrames = GetSize();
    const uint32_t LDestFrames = ADest.GetSize();
    if (uint64_t{ASourceOffset} + ACount > LSourceFrames)
        throw std::out_of_range("CopyTo: " + std::to_string(ACount) + " frames from source offset " +
                                std::to_string(ASourceOffset) + " pass the end of the source's " +
                                std::to_string(LSourceFrames) + " frames");
    if (uint64_t{ADestOffset} + ACount > LDestFrames)
        throw std::out_of_range("CopyTo: " + std::to_string(ACount) + " frames to destination offset " +
                                std::to_string(ADestOffset) + " pass the end of the destination's " +
                                std::to_string(LDestFrames) + " frames");
    if (ACount == 0)
        return;
    const uint32_t LDestBits = ADest.GetBitsPerSample();
    const uint32_t LDestChannels = ADest.GetChannels();
    CheckLayout(LDestBits, LDestChannels);
    const uint8_t* LSrc = ByteRead() + size_t{ASourceOffset} * GetDataStep();
    uint8_t* LDst = ADest.ByteWrite() + size_t{ADestOffset} * ADest.GetDataStep();
    if (LDestBits == FBits && LDestChannels == FChannels) {
        std::memmove(LDst, LSrc, size_t{ACount} * GetDataStep());
        return;
    }
    if (LDestChannels == FChannels) {
        CheckStatus(ConvertSampleWidth(LSrc, static_cast<int>(FBits), LDst, static_cast<int>(LDestBits),
                                       static_cast<std::ptrdiff_t>(size_t{ACount} * FChannels)),
                    "CopyTo");
        return;
    }
    VisitWidth(FBits, [&](auto ASrcWidth) {
        VisitWidth(LDestBits, [&](auto ADstWidth) {
            ConvertFrames<BitsOf(ASrcWidth), BitsOf(ADstWidth)>(LSrc, FChannels, LDst, LDestChannels, ACount);
        });
    });
}

void TSNAudioBuffer::Assign(const ISNAudioBuffer& ASource)
{
    if (&ASource == this)
        return;
    CheckLayout(ASource.GetBitsPerSample(), ASource.GetChannels());
    const size_t LBytes = ASource.GetByteSize();
    FSampleRate = ASource.GetSamplesPerSecond();
    FBits = ASource.GetBitsPerSample();
    FChannels = ASource.GetChannels();
    FChannelMask = ASource.GetChannelMask();
    FData->Resize(LBytes);
    // memmove: two views of one shared block may be assigned to each other.
    if (LBytes != 0)
        std::memmove(FData->Write(), ASource.ByteRead(), LBytes);
}

void TSNAudioBuffer::Add(const ISNAudioBuffer& AOther)
{
    if (AOther.GetBitsPerSample() != FBits || AOther.GetChannels() != FChannels)
        throw EAssertionFailed("Add: cannot add a buffer of " + DescribeWaveFormat(AOther.GetWaveFormat()) +
                               " to a buffer of " + DescribeWaveFormat(GetWaveFormat()));
    const uint64_t LSamples = uint64_t{std::min(GetSize(), AOther.GetSize())} * FChannels;
    if (LSamples == 0)
        return;
    const uint8_t* LSrc = AOther.ByteRead();
    uint8_t* LDst = ByteWrite();
    VisitWidth(FBits, [&](auto AWidth) {
        ForEachPiece(LSamples, FBits / 8, "Add", [&](size_t AByte, int32_t ACount) {
            return decltype(AWidth)::Add(LSrc + AByte, LDst + AByte, ACount);
        });
    });
}

void AddScaledFrames(const ISNAudioBuffer& ASource, uint32_t ASourceOffset, ISNAudioBuffer& ADest,
                     uint32_t ADestOffset, uint32_t ACount, double AFactor)
{
    const uint32_t LBits = ADest.GetBitsPerSample();
    const uint32_t LChannels = ADest.GetChannels();
    if (ASource.GetBitsPerSample() != LBits || ASource.GetChannels() != LChannels)
        throw EAssertionFailed("AddScaledFrames: cannot add a buffer of " + DescribeWaveFormat(ASource.GetWaveFormat()) +
                               " to a buffer of " + DescribeWaveFormat(ADest.GetWaveFormat()));
    if (uint64_t{ASourceOffset} + ACount > ASource.GetSize() || uint64_t{ADestOffset} + ACount > ADest.GetSize())
        throw std::out_of_range("AddScaledFrames: " + std::to_string(ACount) + " frames pass the end of a buffer");
    if (ACount == 0)
        return;
    const uint32_t LStep = ADest.GetDataStep();
    const uint8_t* LSrc = ASource.ByteRead() + size_t{ASourceOffset} * LStep;
    uint8_t* LDst = ADest.ByteWrite() + size_t{ADestOffset} * LStep;
    const uint64_t LSamples = uint64_t{ACount} * LChannels;
    VisitWidth(LBits, [&](auto AWidth) {
        ForEachPiece(LSamples, LBits / 8, "AddScaledFrames", [&](size_t AByte, int32_t APiece) {
            if (AFactor == 1.0)
                return decltype(AWidth)::Add(LSrc + AByte, LDst + AByte, APiece);
            return decltype(AWidth)::AddProduct(AFactor, LSrc + AByte, LDst + AByte, APiece);
        });
    });
}

void TSNAudioBuffer::MultiplyByReal(double AValue)
{
    const uint64_t LSamples = uint64_t{GetSize()} * FChannels;
    uint8_t* LData = ByteWrite();
    VisitWidth(FBits, [&](auto AWidth) {
        ForEachPiece(LSamples, FBits / 8, "MultiplyByReal", [&](size_t AByte, int32_t ACount) {
            return decltype(AWidth)::Multiply(AValue, LData + AByte, ACount);
        });
    });
}

void TSNAudioBuffer::Zero()
{
    FillSilence(0);
}

void TSNAudioBuffer::FillSilence(uint32_t AFirst)
{
    const uint32_t LFrames = GetSize();
    if (AFirst >= LFrames)
        return;
    const uint64_t LSamples = uint64_t{LFrames - AFirst} * FChannels;
    uint8_t* LData = ByteWrite() + size_t{AFirst} * GetDataStep();
    VisitWidth(FBits, [&](auto AWidth) {
        ForEachPiece(LSamples, FBits / 8, "Zero", [&](size_t AByte, int32_t ACount) {
            return decltype(AWidth)::SetSilence(LData + AByte, ACount);
        });
    });
}

bool TSNAudioBuffer::OwnsSamplesAlone() const
{
    return FData.use_count() == 1;
}

void TSNAudioBuffer::Resize(uint32_t AFrames)
{
    const uint32_t LOldFrames = GetSize();
    FData->Resize(size_t{AFrames} * GetDataStep());
    if (AFrames > LOldFrames)
        FillSilence(LOldFrames);
}

} // namespace Sonorix
