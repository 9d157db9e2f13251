// SPDX-License-Identifier: MIT
#include "XVLAVSupport.h"

#include "LAVInternal.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace Sonorix {

namespace {

std::mutex& CodecLock()
{
    static std::mutex LLock;
    return LLock;
}

const AVCodec* FindByName(const std::string& AName, bool AEncoder)
{
    const AVCodec* LCodec = AEncoder ? avcodec_find_encoder_by_name(AName.c_str())
                                     : avcodec_find_decoder_by_name(AName.c_str());
    if (!LCodec) {
        // A codec's name ("mp3", "vorbis") as well as an implementation's.
        if (const AVCodecDescriptor* LDescriptor = avcodec_descriptor_get_by_name(AName.c_str()))
            LCodec = AEncoder ? avcodec_find_encoder(LDescriptor->id) : avcodec_find_decoder(LDescriptor->id);
    }
    return LCodec && LCodec->type == AVMEDIA_TYPE_AUDIO ? LCodec : nullptr;
}

} // namespace

void LAVInitialize()
{
    // libav's own log lines would interleave with the host's output; every
    // failure is reported through the components' errors instead.
    static std::once_flag LOnce;
    std::call_once(LOnce, [] { av_log_set_level(AV_LOG_QUIET); });
}

void LAVLockExecute(const std::function<void()>& AProc)
{
    std::lock_guard LGuard(CodecLock());
    AProc();
}

std::string LAVErrorText(int AError)
{
    char LText[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(AError, LText, sizeof(LText));
    return LText;
}

// --- TXVLAVAudioFileFormat (the property itself is the package library's) ------

const AVOutputFormat* TXVLAVAudioFileFormat::GetFormat(const std::string& AFileName) const
{
    const std::string LName = GetFormatName();
    if (!LName.empty())
        return av_guess_format(LName.c_str(), nullptr, nullptr);
    return av_guess_format(nullptr, AFileName.c_str(), nullptr);
}

// --- Options -------------------------------------------------------------------

std::string TLAVCodecOptions::Apply(AVCodecContext* AContext, const std::string& AOptions)
{
    std::istringstream LList(AOptions);
    std::string LItem;
    while (std::getline(LList, LItem, ':')) {
        if (LItem.empty())
            continue;
        const size_t LEqual = LItem.find('=');
        if (LEqual == std::string::npos || LEqual == 0)
            return "option '" + LItem + "' is not of the form key=value";
        const std::string LKey = LItem.substr(0, LEqual);
        const std::string LValue = LItem.substr(LEqual + 1);
        const int LResult = av_opt_set(AContext, LKey.c_str(), LValue.c_str(), AV_OPT_SEARCH_CHILDREN);
        if (LResult < 0)
            return "option " + LKey + "=" + LValue + " refused: " + LAVErrorText(LResult);
    }
    return {};
}

// --- TSNLAVAudioCompression -----------------------------------------------------

bool TSNLAVAudioCompression::Open(int ACodecId)
{
    const std::string LName = GetCodecName();
    if (!LName.empty())
        FCodec = FindByName(LName, true);
    else
        FCodec = ACodecId != AV_CODEC_ID_NONE ? avcodec_find_encoder(static_cast<AVCodecID>(ACodecId)) : nullptr;
    return FCodec != nullptr;
}

AVStream* TSNLAVAudioCompression::OpenStream(AVFormatContext* AContext)
{
    return FCodec ? avformat_new_stream(AContext, nullptr) : nullptr;
}

std::string TSNLAVAudioCompression::Apply(AVCodecContext* AContext) const
{
    return TLAVCodecOptions::Apply(AContext, GetOptions());
}

// --- TSNLAVAudioDecompression ---------------------------------------------------

TSNLAVAudioDecompression::TSNLAVAudioDecompression() = default;

TSNLAVAudioDecompression::~TSNLAVAudioDecompression()
{
    Close();
}

const TClassDescription& TSNLAVAudioDecompression::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNLAVAudioDecompression;
        TClassDescription LClass;
        LClass.ClassName = "TSNLAVAudioDecompression";
        LClass.Unit = "XVLAVSupport";
        LClass.Properties = {
            DescribeProperty(CodecNameProperty, &C::GetCodecName, &C::SetCodecName),
            DescribeProperty(TLAVCodecOptions::OptionsProperty, &C::GetOptions, &C::SetOptions),
        };
        return LClass;
    }();
    return LDescription;
}

std::string TSNLAVAudioDecompression::GetCodecName() const
{
    return FLock.Getter(FCodecName);
}

void TSNLAVAudioDecompression::SetCodecName(const std::string& AValue)
{
    FLock.NotifySetter(FCodecName, AValue);
}

std::string TSNLAVAudioDecompression::GetOptions() const
{
    return FLock.Getter(FOptions);
}

void TSNLAVAudioDecompression::SetOptions(const std::string& AValue)
{
    FLock.NotifySetter(FOptions, AValue);
}

bool TSNLAVAudioDecompression::Open(int ACodecId)
{
    const std::string LName = GetCodecName();
    if (!LName.empty())
        FCodec = FindByName(LName, false);
    else
        FCodec = ACodecId != AV_CODEC_ID_NONE ? avcodec_find_decoder(static_cast<AVCodecID>(ACodecId)) : nullptr;
    return FCodec != nullptr;
}

std::string TSNLAVAudioDecompression::Apply(AVCodecContext* AContext) const
{
    return TLAVCodecOptions::Apply(AContext, GetOptions());
}

void TSNLAVAudioDecompression::ApplySettings(AVCodecContext* /*AContext*/)
{
    GetFrame();
}

AVFrame* TSNLAVAudioDecompression::GetFrame()
{
    if (!FFrame)
        FFrame = av_frame_alloc();
    return FFrame;
}

void TSNLAVAudioDecompression::Close()
{
    av_frame_free(&FFrame);
}

} // namespace Sonorix
