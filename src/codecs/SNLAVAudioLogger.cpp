// SPDX-License-Identifier: MIT
// The logger's framework side: part of the package library. Plain PCM WAV
// and Ogg Vorbis files with libav's default settings are written natively
// (SNWavLoggerSink.cpp, SNOggVorbisLoggerSink.cpp); every other file through
// the libav module's writer, loading the module on first need.
#include "SNLAVAudioLogger.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNLoggerSink.h"
#include "SNModule.h"
#include "SNPlayerSource.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <strings.h>

namespace Sonorix {

namespace {

// SONORIX_LOGGER_LIBAV=1 writes every file through libav (comparisons and
// benchmarks of the writers).
bool NativeWritersAllowed()
{
    const char* LValue = std::getenv("SONORIX_LOGGER_LIBAV");
    return !LValue || std::string_view(LValue) != "1";
}

TSNLoggerSinkPtr OpenLAVSink(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure)
{
    TSNLoggerSinkPtr LSink;
#ifdef SONORIX_LAV_MODULE
    static std::atomic<TSNOpenLAVLoggerSink> LEntry{nullptr};
    try {
        if (!LEntry.load())
            LEntry.store(reinterpret_cast<TSNOpenLAVLoggerSink>(LAVModuleFunction(CLAVLoggerSinkEntryPoint)));
        LEntry.load()(ARequest, AFailure, LSink);
    } catch (const EDGException& E) {
        AFailure = {"Could not open " + ARequest.FileName, ENOSYS, E.what()};
    }
#else
    AFailure = {"Could not open " + ARequest.FileName, ENOSYS, "the package is built without libav"};
#endif
    return LSink;
}

} // namespace

bool IsDefaultLocalRequest(const TSNLoggerOpenRequest& ARequest, const char* AFormatName, const char* ACodecName)
{
    const std::string& LName = ARequest.FileName;
    const std::string LPath = LocalFileName(LName);
    const std::string LCodec = ARequest.Compression->GetCodecName();
    const WAVEFORMATEX& LStream = ARequest.Format.Format;
    const unsigned LBits = LStream.wBitsPerSample;
    if ((LBits != 8 && LBits != 16 && LBits != 24 && LBits != 32) || LStream.nChannels == 0 ||
        LStream.nSamplesPerSec == 0 || LStream.nSamplesPerSec > 0x7FFFFFFF)
        return false;
    if (LPath.find(':') != std::string::npos || (!LCodec.empty() && (!ACodecName || LCodec != ACodecName)) ||
        !ARequest.Compression->GetOptions().empty() || ARequest.Compression->GetBitRate() != 0)
        return false;
    const std::string LFormat = ARequest.FileFormat->GetFormatName();
    if (!LFormat.empty())
        return strcasecmp(LFormat.c_str(), AFormatName) == 0;
    const size_t LDot = LPath.rfind('.');
    return LDot != std::string::npos && LPath.find('/', LDot) == std::string::npos &&
           strcasecmp(LPath.c_str() + LDot + 1, AFormatName) == 0;
}

TSNLAVAudioLogger::TSNLAVAudioLogger() = default;

TSNLAVAudioLogger::~TSNLAVAudioLogger()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    FSink.reset();
}

const TClassDescription& TSNLAVAudioLogger::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLAVAudioLogger");
        LClass.Parent = &TSNCommonLogger::ClassDescription();
        LClass.Properties = {
            DescribeObject("FileFormat", &TSNLAVAudioLogger::GetFileFormat),
            DescribeObject("AudioCompression", &TSNLAVAudioLogger::GetAudioCompression),
        };
        LClass.Events = {TLAVErrorSource::DescribeOnError(), TLAVErrorSource::DescribeOnWarning()};
        LClass.Factory = [] { return std::make_shared<TSNLAVAudioLogger>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNLAVAudioLogger::Fail(const TSNLoggerFailure& AFailure)
{
    // What was written so far is completed as far as the container allows.
    FSink.reset();
    FLogging = false;
    Error(*this, AFailure.Message, static_cast<uint32_t>(AFailure.Code < 0 ? -AFailure.Code : AFailure.Code),
          AFailure.Detail);
}

void TSNLAVAudioLogger::BeginAudio(const WAVEFORMATEXTENSIBLE& AWaveFormat)
{
    FSink.reset();
    FFormat = AWaveFormat;
    TSNLoggerOpenRequest LRequest{GetFileName(), AWaveFormat, &FFileFormat, &FAudioCompression, {}, {}};
    TSNLoggerFailure LFailure;
    if (NativeWritersAllowed()) {
        FSink = OpenWavLoggerSink(LRequest, LFailure);
        if (!FSink && LFailure.Message.empty())
            FSink = OpenOggVorbisLoggerSink(LRequest, LFailure);
    }
    if (!FSink && LFailure.Message.empty())
        FSink = OpenLAVSink(LRequest, LFailure);
    if (!FSink) {
        Fail(LFailure);
        return;
    }
    if (!LRequest.Warning.empty())
        Warning(*this, LRequest.Warning, LRequest.WarningDetail);
}

void TSNLAVAudioLogger::RenderAudio(const ISNAudioBufferPtr& AAudioBuffer)
{
    if (!FSink)
        return;
    ISNAudioBufferPtr LBuffer = AAudioBuffer;
    // Buffers in another width or channel count are brought to the stream's.
    if (LBuffer->GetBitsPerSample() != FFormat.Format.wBitsPerSample ||
        LBuffer->GetChannels() != FFormat.Format.nChannels) {
        ISNAudioBufferPtr LConverted = TSNAudioBuffer::CreateWaveFormat(FFormat, LBuffer->GetSize());
        LBuffer->CopyTo(0, *LConverted, 0, LBuffer->GetSize());
        LBuffer = LConverted;
    }
    TSNLoggerFailure LFailure;
    if (!FSink->Write(LBuffer->ByteRead(), LBuffer->GetSize(), LFailure))
        Fail(LFailure);
}

void TSNLAVAudioLogger::EndAudio()
{
    if (!FSink)
        return;
    TSNLoggerFailure LFailure;
    const bool LFinished = FSink->Finish(LFailure);
    FSink.reset();
    if (!LFinished)
        Fail(LFailure);
}

namespace SNLAVAudioLogger {
void RegisterPkg()
{
    RegisterComponents({&TSNLAVAudioLogger::ClassDescription()});
}
} // namespace SNLAVAudioLogger

} // namespace Sonorix
