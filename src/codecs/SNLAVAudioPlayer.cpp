// SPDX-License-Identifier: MIT
// The player's framework side: part of the package library. Plain PCM WAV
// files are read natively (SNWavPlayerSource.cpp); every other file through
// the libav module's reader, loading the module on first need.
#include "SNLAVAudioPlayer.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNModule.h"
#include "SNPlayerSource.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include <dlfcn.h>

namespace Sonorix {

namespace {

// SONORIX_PLAYER_LIBAV=1 sends WAV and FLAC files through libav as well
// (comparisons and benchmarks of the readers).
bool NativeWavAllowed()
{
    const char* LValue = std::getenv("SONORIX_PLAYER_LIBAV");
    return !LValue || std::string_view(LValue) != "1";
}

#ifdef SONORIX_LAV_MODULE
TSNOpenLAVPlayerSource LAVEntryPoint()
{
    static std::atomic<TSNOpenLAVPlayerSource> LEntry{nullptr};
    if (!LEntry.load())
        LEntry.store(reinterpret_cast<TSNOpenLAVPlayerSource>(LAVModuleFunction(CLAVPlayerSourceEntryPoint)));
    return LEntry.load();
}
#endif

TSNPlayerSourcePtr OpenLAVSource(const TSNPlayerOpenRequest& ARequest, TSNPlayerStream& AStream,
                                 TSNPlayerFailure& AFailure)
{
    TSNPlayerSourcePtr LSource;
#ifdef SONORIX_LAV_MODULE
    try {
        LAVEntryPoint()(ARequest, AStream, AFailure, LSource);
    } catch (const EDGException& E) {
        AFailure = {"cannot open '" + ARequest.FileName + "': " + E.what(), ENOSYS, {}};
    }
#else
    AFailure = {"cannot open '" + ARequest.FileName + "': the package is built without libav", ENOSYS, {}};
#endif
    return LSource;
}

} // namespace

#ifdef SONORIX_LAV_MODULE
void* LAVModuleFunction(const char* AName)
{
    const std::string LPath = PackageModulePath(SONORIX_LAV_MODULE);
    LoadModule(LPath);
    // LoadModule keeps the module mapped until exit.
    TSNLibraryHandle LHandle(dlopen(LPath.c_str(), RTLD_NOW | RTLD_NOLOAD));
    void* LFound = LHandle ? dlsym(LHandle.get(), AName) : nullptr;
    if (!LFound)
        throw EModuleError("module '" + std::string(SONORIX_LAV_MODULE) + "' has no " + AName + " function");
    return LFound;
}
#endif

TSNLAVAudioPlayer::TSNLAVAudioPlayer() = default;

TSNLAVAudioPlayer::~TSNLAVAudioPlayer()
{
    Close();
}

const TClassDescription& TSNLAVAudioPlayer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLAVAudioPlayer");
        LClass.Parent = &TSNBasicCommonPlayer::ClassDescription();
        LClass.Properties = {DescribeObject("Audio", &TSNLAVAudioPlayer::GetAudio)};
        LClass.Events = {TLAVErrorSource::DescribeOnError(), TLAVErrorSource::DescribeOnWarning()};
        LClass.Factory = [] { return std::make_shared<TSNLAVAudioPlayer>(); };
        return LClass;
    }();
    return LDescription;
}

bool TSNLAVAudioPlayer::Fail(const std::string& AMessage, int ACode, const std::string& ADetail)
{
    IntClose();
    Error(*this, AMessage, static_cast<uint32_t>(ACode < 0 ? -ACode : ACode), ADetail);
    return false;
}

bool TSNLAVAudioPlayer::IntOpen()
{
    const std::string LFileName = GetFileName();
    if (LFileName.empty())
        return false;
    const TSNPlayerOpenRequest LRequest{LFileName, &FAudio,
                                        [this](const std::string& ADetail) { DropPacket(*this, ADetail); }};
    TSNPlayerStream LStream;
    TSNPlayerFailure LFailure;
    if (NativeWavAllowed()) {
        FSource = OpenWavPlayerSource(LRequest, LStream, LFailure);
        if (!FSource && LFailure.Message.empty())
            FSource = OpenFlacPlayerSource(LRequest, LStream);
    }
    if (!FSource && LFailure.Message.empty())
        FSource = OpenLAVSource(LRequest, LStream, LFailure);
    if (!FSource)
        return Fail(LFailure.Message, LFailure.Code, LFailure.Detail);
    FFormat = LStream.Format;
    FNumberSamples = LStream.Samples;
    FExactLength = LStream.ExactLength;
    // Slightly faster than the audio (999 rather than 1000) so a sink that
    // plays in real time never starves.
    const double LRate = FFormat.Format.nSamplesPerSec;
    SetPumpInterval(std::max<int64_t>(1, std::llround(9990000.0 * GetBufferSize() / LRate)));
    FPosition = 0;
    FAtEnd = false;
    return true;
}

void TSNLAVAudioPlayer::IntClose()
{
    FSource.reset();
    FNumberSamples = 0;
    FFormat = {};
}

void TSNLAVAudioPlayer::IntStart()
{
    FOutputPin.SendStart(FFormat);
}

WAVEFORMATEXTENSIBLE TSNLAVAudioPlayer::GetWaveFormat()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FFormat;
}

uint32_t TSNLAVAudioPlayer::GetSampleRate()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FFormat.Format.nSamplesPerSec;
}

int64_t TSNLAVAudioPlayer::GetSamplesCount()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FNumberSamples;
}

int64_t TSNLAVAudioPlayer::GetCurrentSample()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FSource ? FPosition : 0;
}

void TSNLAVAudioPlayer::SetCurrentSample(int64_t AValue)
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FSource)
        return;
    AValue = std::max<int64_t>(AValue, 0);
    FSource->Seek(AValue);
    FAtEnd = false;
    FPosition = AValue;
}

void TSNLAVAudioPlayer::IntPump()
{
    if (!FSource)
        return;
    ISNAudioBufferPtr LBuffer;
    const bool LFilled = GenerateSoundFrame(LBuffer);
    if (LFilled)
        FOutputPin.SendBuffer(std::move(LBuffer));
    if (FAtEnd) {
        if (FExactLength && FPosition < FNumberSamples) {
            const std::string LFileName = GetFileName();
            const int64_t LDelivered = FPosition;
            FExactLength = false;
            Error(*this, "'" + LFileName + "' ends after " + std::to_string(LDelivered) + " of " +
                             std::to_string(FNumberSamples) + " samples: the file is truncated",
                  CPlayerTruncatedCode);
        }
        // A loop starts over inside GenerateSoundFrame; ending here with
        // Loop set means the file gave nothing since its start.
        EndOfFile(false);
    }
}

bool TSNLAVAudioPlayer::GenerateSoundFrame(ISNAudioBufferPtr& ABuffer)
{
    const uint32_t LFrames = static_cast<uint32_t>(GetBufferSize());
    ABuffer = TSNAudioBuffer::CreateWaveFormat(FFormat, LFrames);
    const size_t LStep = FFormat.Format.nBlockAlign;
    uint8_t* LDest = ABuffer->ByteWrite();
    uint32_t LFilled = 0;
    while (LFilled < LFrames) {
        const uint32_t LRead = FSource->Read(LDest + LFilled * LStep, LFrames - LFilled);
        LFilled += LRead;
        FPosition += LRead;
        if (LRead > 0)
            continue;
        FAtEnd = true;
        // A loop goes on from the first sample inside the same buffer, so a
        // wrap loses nothing; a pass that gave nothing ends the stream.
        if (!GetLoop() || FPosition == 0)
            break;
        Restart();
    }
    if (LFilled < LFrames)
        ABuffer->Resize(LFilled);
    return LFilled > 0;
}

namespace SNLAVAudioPlayer {
void RegisterPkg()
{
    RegisterComponents({&TSNLAVAudioPlayer::ClassDescription()});
}
} // namespace SNLAVAudioPlayer

} // namespace Sonorix
