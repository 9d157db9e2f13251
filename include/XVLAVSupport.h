// SPDX-License-Identifier: MIT
// The libav binding and the property objects that the libav components share:
// container choice (TXVLAVAudioFileFormat), encoder choice and options
// (TSNLAVAudioCompression), decoder choice and options
// (TSNLAVAudioDecompression) and the player's decoder choice
// (TXVLAVMediaPlayerAudio, with TLAVErrorSource part of the package library).
//
// libav types appear here only as incomplete structs, so users of the package
// need no libav headers.
//
//   LLogger->GetAudioCompression().SetCodecName("flac");
//   LLogger->GetAudioCompression().SetOptions("compression_level=8");
//   LLogger->GetFileFormat().SetFormatName("flac");   // or guessed from FileName
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "CVLocks.h"
#include "CVPersistent.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVOutputFormat;
struct AVStream;

namespace Sonorix {
SN_API_BEGIN

// OnWarning of the libav components: something the stream goes on after (a
// packet that did not decode and was dropped, a conversion for the codec):
// sender, message, and what and where.
using TDGWarningEvent =
    std::function<void(TPersistent& ASender, const std::string& AMessage, const std::string& ADetail)>;

// Once per process: libav's log output off (errors go through OnError).
void LAVInitialize();

// Runs AProc under the binding's global codec lock (codec opening and closing
// of libavcodec are serialised through it).
void LAVLockExecute(const std::function<void()>& AProc);

// "Invalid data found when processing input" for a libav error code.
std::string LAVErrorText(int AError);

// The error path shared by the libav components. Error raises OnError and,
// unless the handler set AHandled or the component is in design mode, throws
// EDGException with exactly "%s - %u - %x" of the message and the code. The
// detail (which file, which codec) goes to the event as its "detail" field
// and to the exception's GetDetail.
class TLAVErrorSource {
public:
    virtual ~TLAVErrorSource() = default;
    void SetOnError(TDGErrorEvent AHandler);
    TDGErrorEvent GetOnError() const;
    // Detail of the error being reported (inside an OnError handler).
    std::string GetErrorDetail() const;

    void SetOnWarning(TDGWarningEvent AHandler);
    TDGWarningEvent GetOnWarning() const;
    // Packets that did not decode and were dropped, since construction; any thread.
    uint64_t GetDroppedPackets() const { return FDroppedPackets; }

    // The OnError and OnWarning rows of a class description.
    static TEventInfo DescribeOnError();
    static TEventInfo DescribeOnWarning();

protected:
    void Error(TLockComponent& ASelf, const std::string& AMessage, uint32_t ACode, const std::string& ADetail = {});
    // Raises OnWarning when assigned; never throws.
    void Warning(TLockComponent& ASelf, const std::string& AMessage, const std::string& ADetail);
    // Counts a packet that did not decode and warns "could not decode packet".
    void DropPacket(TLockComponent& ASelf, const std::string& ADetail);

private:
    mutable std::mutex FMutex;
    TDGErrorEvent FOnError;
    TDGWarningEvent FOnWarning;
    std::atomic<uint64_t> FDroppedPackets{0};
    std::string FDetail;
};

// The container of a written file: by format name ("wav", "flac", "ogg",
// "mp4", ...), or guessed from the file name when FormatName is empty.
class TXVLAVAudioFileFormat : public TPersistent {
public:
    static constexpr TStringSpec FormatNameProperty{.Name = "FormatName", .Default = ""};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    std::string GetFormatName() const;
    void SetFormatName(const std::string& AValue);

    // The output format for AFileName; nullptr when the name is unknown or
    // nothing can be guessed.
    const AVOutputFormat* GetFormat(const std::string& AFileName) const;

private:
    mutable TBasicLockChangeNotifyLock FLock;
    std::string FFormatName = FormatNameProperty.Default;
};

// Options text shared by the codec objects: "key=value:key=value" (libav's
// option names of the codec context and of the codec itself).
class TLAVCodecOptions {
public:
    static constexpr TStringSpec OptionsProperty{.Name = "Options", .Default = ""};
    // Sets each option on AContext; returns "" or the first option that the
    // codec refused, with the reason.
    static std::string Apply(AVCodecContext* AContext, const std::string& AOptions);
};

// Encoder choice: codec by name ("flac", "libvorbis", "libmp3lame", "aac",
// "libopus", "pcm_s24le", ...), empty for the usual codec of the container;
// bit rate in bits per second (0 leaves the codec's default); options.
class TSNLAVAudioCompression : public TPersistent {
public:
    static constexpr TStringSpec CodecNameProperty{.Name = "CodecName", .Default = ""};
    static constexpr TIntSpec BitRateProperty{
        .Name = "BitRate", .Default = 0, .Min = 0, .Max = 100000000, .DesignMin = 8000, .DesignMax = 512000};

    TSNLAVAudioCompression();
    ~TSNLAVAudioCompression() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    std::string GetCodecName() const;
    void SetCodecName(const std::string& AValue);
    int32_t GetBitRate() const;
    void SetBitRate(int32_t AValue);
    std::string GetOptions() const;
    void SetOptions(const std::string& AValue);

    // Finds the encoder: by CodecName when set, else by ACodecId (an
    // AVCodecID). False when there is none.
    bool Open(int ACodecId);
    const AVCodec* GetCodec() const { return FCodec; }
    // Adds an audio stream for the codec to AContext; nullptr on failure.
    AVStream* OpenStream(AVFormatContext* AContext);
    // Options onto the context before it is opened ("" or the refusal).
    std::string Apply(AVCodecContext* AContext) const;

private:
    mutable TBasicLockChangeNotifyLock FLock;
    std::string FCodecName = CodecNameProperty.Default;
    int32_t FBitRate = static_cast<int32_t>(BitRateProperty.Default);
    std::string FOptions = TLAVCodecOptions::OptionsProperty.Default;
    const AVCodec* FCodec = nullptr;
};

// Decoder choice: codec by name, empty for the codec that the stream names.
class TSNLAVAudioDecompression : public TPersistent {
public:
    static constexpr TStringSpec CodecNameProperty{.Name = "CodecName", .Default = ""};

    TSNLAVAudioDecompression();
    ~TSNLAVAudioDecompression() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    std::string GetCodecName() const;
    void SetCodecName(const std::string& AValue);
    std::string GetOptions() const;
    void SetOptions(const std::string& AValue);

    // Finds the decoder: by CodecName when set, else by ACodecId.
    bool Open(int ACodecId);
    const AVCodec* GetCodec() const { return FCodec; }
    std::string Apply(AVCodecContext* AContext) const;
    void ApplySettings(AVCodecContext* AContext);
    // The decoded frame (allocated on first use).
    AVFrame* GetFrame();
    void Close();

private:
    mutable TBasicLockChangeNotifyLock FLock;
    std::string FCodecName = CodecNameProperty.Default;
    std::string FOptions = TLAVCodecOptions::OptionsProperty.Default;
    const AVCodec* FCodec = nullptr;
    AVFrame* FFrame = nullptr;
};

// The player's decoder side: which audio stream (-1: the first one that a
// decoder opens) and decoder options. The decoder itself belongs to the
// player's libav reader.
class TXVLAVMediaPlayerAudio : public TPersistent {
public:
    static constexpr TIntSpec StreamIndexProperty{.Name = "StreamIndex", .Default = -1, .Min = -1, .Max = 65535};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetStreamIndex() const;
    void SetStreamIndex(int32_t AValue);
    std::string GetOptions() const;
    void SetOptions(const std::string& AValue);

private:
    mutable TBasicLockChangeNotifyLock FLock;
    int32_t FStreamIndex = static_cast<int32_t>(StreamIndexProperty.Default);
    std::string FOptions = TLAVCodecOptions::OptionsProperty.Default;
};

SN_API_END
} // namespace Sonorix
