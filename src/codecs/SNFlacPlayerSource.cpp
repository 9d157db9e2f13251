// SPDX-License-Identifier: MIT
// The player's reader of native FLAC files through libFLAC, opened on first
// use: libavcodec's FLAC decoder and libavformat's frame parser take about
// half as long again as libFLAC for the same file, and a FLAC file read here
// maps no libav library. Like the WAV reader it takes only files it reads
// exactly as libav does (mono or stereo, 16 or 24 bits, a stated length, no
// channel-mask comment): the same format, length and samples. Anything else
// is left to libav.
#include "SNPlayerSource.h"

#ifdef SONORIX_HAVE_FLAC

#include "SNLibrarySymbols.h"
#include "SNModule.h"
#include "SNTypes.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sonorix {

namespace {

// libFLAC 1.4's functions, bound once; nullptr when the library or one of
// them is missing (every FLAC file then goes to libav).
struct TFlacFunctions {
    decltype(&FLAC__stream_decoder_new) New;
    decltype(&FLAC__stream_decoder_delete) Delete;
    decltype(&FLAC__stream_decoder_set_metadata_respond) SetMetadataRespond;
    decltype(&FLAC__stream_decoder_init_FILE) InitFile;
    decltype(&FLAC__stream_decoder_process_until_end_of_metadata) ProcessMetadata;
    decltype(&FLAC__stream_decoder_process_single) ProcessSingle;
    decltype(&FLAC__stream_decoder_get_state) GetState;
    decltype(&FLAC__stream_decoder_seek_absolute) SeekAbsolute;
    decltype(&FLAC__stream_decoder_flush) Flush;
};

const TFlacFunctions* Flac()
{
    struct TBinding {
        TSNLibraryHandle Library;
        TFlacFunctions Functions{};
        bool Complete = false;
        TBinding()
        {
            Library.reset(dlopen("libFLAC.so.12", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
            void* const L = Library.get();
            TFlacFunctions& F = Functions;
            Complete = L && BindSymbol(L, F.New, "FLAC__stream_decoder_new") &&
                       BindSymbol(L, F.Delete, "FLAC__stream_decoder_delete") &&
                       BindSymbol(L, F.SetMetadataRespond, "FLAC__stream_decoder_set_metadata_respond") &&
                       BindSymbol(L, F.InitFile, "FLAC__stream_decoder_init_FILE") &&
                       BindSymbol(L, F.ProcessMetadata, "FLAC__stream_decoder_process_until_end_of_metadata") &&
                       BindSymbol(L, F.ProcessSingle, "FLAC__stream_decoder_process_single") &&
                       BindSymbol(L, F.GetState, "FLAC__stream_decoder_get_state") &&
                       BindSymbol(L, F.SeekAbsolute, "FLAC__stream_decoder_seek_absolute") &&
                       BindSymbol(L, F.Flush, "FLAC__stream_decoder_flush");
        }
    };
    static const TBinding LBinding;
    return LBinding.Complete ? &LBinding.Functions : nullptr;
}

const char* ErrorText(FLAC__StreamDecoderErrorStatus AStatus)
{
    switch (AStatus) {
    case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC: return "lost frame sync";
    case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER: return "bad frame header";
    case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH: return "frame CRC mismatch";
    default: return "unparseable stream";
    }
}

class TFlacPlayerSource : public ISNPlayerSource {
public:
    TFlacPlayerSource(const TFlacFunctions& AFlac, TSNPlayerDropEvent AOnDrop)
        : F(AFlac), FDecoder(F.New()), FOnDrop(std::move(AOnDrop))
    {
    }
    TFlacPlayerSource(const TFlacPlayerSource&) = delete;
    TFlacPlayerSource& operator=(const TFlacPlayerSource&) = delete;
    ~TFlacPlayerSource() override
    {
        if (FDecoder)
            F.Delete(FDecoder); // finishes the stream and closes the file
    }

    // Reads the metadata; false when the file is not one this reader takes.
    bool Open(FILE* AFile, TSNPlayerStream& AStream)
    {
        if (!FDecoder) {
            std::fclose(AFile);
            return false;
        }
        F.SetMetadataRespond(FDecoder, FLAC__METADATA_TYPE_VORBIS_COMMENT);
        if (F.InitFile(FDecoder, AFile, Write, Metadata, Error, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            std::fclose(AFile);
            return false;
        }
        if (!F.ProcessMetadata(FDecoder) || !FHaveInfo || FMaskComment || FTotal <= 0 ||
            (FChannels != 1 && FChannels != 2) || (FBits != 16 && FBits != 24) || FRate == 0 || FRate > 655350)
            return false;
        AStream.Format = MakeWaveFormat(FRate, FBits, FChannels, DefaultChannelMask(FChannels));
        AStream.Samples = FTotal;
        AStream.ExactLength = true;
        FAlign = FChannels * FBits / 8;
        return true;
    }

    uint32_t Read(uint8_t* ADest, uint32_t AFrames) override
    {
        uint32_t LDone = TakeHeld(ADest, AFrames);
        while (LDone < AFrames && !FEnded) {
            FDest = ADest + static_cast<size_t>(LDone) * FAlign;
            FRoom = AFrames - LDone;
            FWritten = 0;
            const bool LOk = F.ProcessSingle(FDecoder);
            FDest = nullptr;
            LDone += FWritten;
            const FLAC__StreamDecoderState LState = F.GetState(FDecoder);
            if (!LOk || LState == FLAC__STREAM_DECODER_END_OF_STREAM || LState > FLAC__STREAM_DECODER_END_OF_STREAM)
                FEnded = true;
        }
        return LDone;
    }

    void Seek(int64_t AFrame) override
    {
        FHeld.clear();
        FHeldAt = 0;
        FEnded = AFrame >= FTotal;
        if (FEnded)
            return;
        // The frame holding the target is decoded during the seek; its part
        // from the target on waits in FHeld.
        if (!F.SeekAbsolute(FDecoder, static_cast<FLAC__uint64>(AFrame))) {
            if (F.GetState(FDecoder) == FLAC__STREAM_DECODER_SEEK_ERROR)
                F.Flush(FDecoder);
            FHeld.clear();
            FEnded = true;
        }
    }

private:
    uint32_t TakeHeld(uint8_t* ADest, uint32_t AFrames)
    {
        const size_t LBytes = std::min<size_t>(FHeld.size() - FHeldAt, static_cast<size_t>(AFrames) * FAlign);
        if (LBytes > 0)
            std::memcpy(ADest, FHeld.data() + FHeldAt, LBytes);
        FHeldAt += LBytes;
        if (FHeldAt == FHeld.size()) {
            FHeld.clear();
            FHeldAt = 0;
        }
        return static_cast<uint32_t>(LBytes / FAlign);
    }

    template <unsigned Bytes>
    static void Store(const FLAC__int32* const* ASamples, uint32_t AFirst, uint32_t ACount, uint32_t AChannels,
                      uint8_t* ADest)
    {
        for (uint32_t I = 0; I < ACount; ++I)
            for (uint32_t C = 0; C < AChannels; ++C, ADest += Bytes) {
                const FLAC__int32 LValue = ASamples[C][AFirst + I];
                if constexpr (Bytes == 2) {
                    const auto LSample = static_cast<int16_t>(LValue);
                    std::memcpy(ADest, &LSample, 2);
                } else {
                    ADest[0] = static_cast<uint8_t>(LValue);
                    ADest[1] = static_cast<uint8_t>(LValue >> 8);
                    ADest[2] = static_cast<uint8_t>(LValue >> 16);
                }
            }
    }

    void Deliver(const FLAC__int32* const* ASamples, uint32_t AFirst, uint32_t ACount, uint8_t* ADest) const
    {
        if (FBits == 16)
            Store<2>(ASamples, AFirst, ACount, FChannels, ADest);
        else
            Store<3>(ASamples, AFirst, ACount, FChannels, ADest);
    }

    // Straight into the reader's buffer as far as it goes; the rest waits.
    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* AFrame,
                                                const FLAC__int32* const ABuffer[], void* AClient)
    {
        auto& S = *static_cast<TFlacPlayerSource*>(AClient);
        const FLAC__FrameHeader& H = AFrame->header;
        if (H.channels != S.FChannels || H.bits_per_sample != S.FBits) {
            S.Drop("a frame of " + std::to_string(H.channels) + " channels and " + std::to_string(H.bits_per_sample) +
                   " bits in a stream of " + std::to_string(S.FChannels) + " and " + std::to_string(S.FBits));
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }
        const uint32_t LDirect = S.FDest ? std::min(H.blocksize, S.FRoom) : 0;
        if (LDirect > 0) {
            S.Deliver(ABuffer, 0, LDirect, S.FDest);
            S.FDest += static_cast<size_t>(LDirect) * S.FAlign;
            S.FRoom -= LDirect;
            S.FWritten += LDirect;
        }
        if (LDirect < H.blocksize) {
            const size_t LAt = S.FHeld.size();
            S.FHeld.resize(LAt + static_cast<size_t>(H.blocksize - LDirect) * S.FAlign);
            S.Deliver(ABuffer, LDirect, H.blocksize - LDirect, S.FHeld.data() + LAt);
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* AData, void* AClient)
    {
        auto& S = *static_cast<TFlacPlayerSource*>(AClient);
        if (AData->type == FLAC__METADATA_TYPE_STREAMINFO) {
            const FLAC__StreamMetadata_StreamInfo& I = AData->data.stream_info;
            S.FHaveInfo = true;
            S.FRate = I.sample_rate;
            S.FChannels = I.channels;
            S.FBits = I.bits_per_sample;
            S.FTotal = static_cast<int64_t>(I.total_samples);
        } else if (AData->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
            // libav lays the channels out by this comment.
            static constexpr char CKey[] = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=";
            const FLAC__StreamMetadata_VorbisComment& V = AData->data.vorbis_comment;
            for (FLAC__uint32 I = 0; I < V.num_comments; ++I)
                if (V.comments[I].length >= sizeof(CKey) - 1 &&
                    strncasecmp(reinterpret_cast<const char*>(V.comments[I].entry), CKey, sizeof(CKey) - 1) == 0)
                    S.FMaskComment = true;
        }
    }

    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus AStatus, void* AClient)
    {
        static_cast<TFlacPlayerSource*>(AClient)->Drop(ErrorText(AStatus));
    }

    void Drop(const std::string& ADetail) const
    {
        if (FOnDrop)
            FOnDrop(ADetail);
    }

    const TFlacFunctions& F;
    FLAC__StreamDecoder* FDecoder;
    TSNPlayerDropEvent FOnDrop;
    bool FHaveInfo = false, FMaskComment = false, FEnded = false;
    uint32_t FRate = 0, FChannels = 0, FBits = 0, FAlign = 1;
    int64_t FTotal = 0;
    // The frame being decoded goes here first, up to FRoom frames.
    uint8_t* FDest = nullptr;
    uint32_t FRoom = 0, FWritten = 0;
    // What a frame held beyond the reader's buffer.
    std::vector<uint8_t> FHeld;
    size_t FHeldAt = 0;
};

} // namespace

TSNPlayerSourcePtr OpenFlacPlayerSource(const TSNPlayerOpenRequest& ARequest, TSNPlayerStream& AStream)
{
    std::string LPath;
    if (!NativePlayerPath(ARequest, LPath))
        return nullptr;
    // Non-blocking: a FIFO must not wait for a writer before it is refused.
    const int LFd = open(LPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (LFd < 0)
        return nullptr;
    // (The WAV reader, asked first, has refused what is not a regular file.)
    struct stat LStat {};
    char LMagic[4] = {};
    if (fstat(LFd, &LStat) != 0 || !S_ISREG(LStat.st_mode) || pread(LFd, LMagic, 4, 0) != 4 ||
        std::memcmp(LMagic, "fLaC", 4) != 0) {
        close(LFd);
        return nullptr;
    }
    const TFlacFunctions* LFlac = Flac();
    FILE* LFile = LFlac ? fdopen(LFd, "rb") : nullptr;
    if (!LFile) {
        close(LFd);
        return nullptr;
    }
    auto LSource = std::make_unique<TFlacPlayerSource>(*LFlac, ARequest.OnDrop);
    TSNPlayerStream LStream;
    if (!LSource->Open(LFile, LStream))
        return nullptr;
    AStream = LStream;
    return LSource;
}

} // namespace Sonorix

#else

namespace Sonorix {

TSNPlayerSourcePtr OpenFlacPlayerSource(const TSNPlayerOpenRequest&, TSNPlayerStream&)
{
    return nullptr;
}

} // namespace Sonorix

#endif
