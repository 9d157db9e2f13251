// SPDX-License-Identifier: MIT
#include "LAVTestSupport.h"

#include "TestSamples.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace Sonorix::Test::Codecs {

TTempDir::TTempDir()
{
    std::string LTemplate = (std::filesystem::temp_directory_path() / "sonorix-lav-XXXXXX").string();
    FPath = mkdtemp(LTemplate.data());
}

TTempDir::~TTempDir()
{
    std::error_code LError;
    std::filesystem::remove_all(FPath, LError);
}

TShellResult Shell(const std::string& ACommand)
{
    const std::string LCommand = ACommand + " 2>&1";
    FILE* LPipe = popen(LCommand.c_str(), "r");
    if (!LPipe)
        return {-1, "popen failed"};
    std::string LOutput;
    std::array<char, 65536> LBuffer;
    while (size_t LRead = fread(LBuffer.data(), 1, LBuffer.size(), LPipe))
        LOutput.append(LBuffer.data(), LRead);
    const int LStatus = pclose(LPipe);
    return {WIFEXITED(LStatus) ? WEXITSTATUS(LStatus) : -1, LOutput};
}

bool HaveFfmpeg()
{
    static const bool LHave = Shell("command -v ffmpeg && command -v ffprobe").ExitCode == 0;
    return LHave;
}

std::string Quote(const std::string& AText)
{
    std::string LQuoted = "'";
    for (char C : AText)
        LQuoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return LQuoted + "'";
}

std::string ReadFile(const std::string& APath)
{
    std::ifstream LIn(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(LIn), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> WavSamples(const std::string& AFile)
{
    const std::string LBytes = ReadFile(AFile);
    const size_t LData = LBytes.find("data");
    std::vector<int16_t> LSamples(LData == std::string::npos ? 0 : (LBytes.size() - LData - 8) / 2);
    if (!LSamples.empty())
        std::memcpy(LSamples.data(), LBytes.data() + LData + 8, LSamples.size() * 2);
    return LSamples;
}

TShellResult Tool(const std::string& APipeline, const std::string& AOptions)
{
    return Shell(std::string(SONORIX_TOOL_PATH) + " run " + AOptions + " " + Quote(APipeline));
}

TProbe Probe(const std::string& AFile)
{
    const TShellResult LRun = Shell("ffprobe -v error -select_streams a:0 -show_entries "
                                    "stream=codec_name,sample_rate,channels,bits_per_raw_sample:format=duration "
                                    "-of default=noprint_wrappers=1 " +
                                    Quote(AFile));
    std::map<std::string, std::string> LFields;
    std::istringstream LLines(LRun.ExitCode == 0 ? LRun.Output : "");
    for (std::string LLine; std::getline(LLines, LLine);)
        if (const size_t LEqual = LLine.find('='); LEqual != std::string::npos)
            LFields[LLine.substr(0, LEqual)] = LLine.substr(LEqual + 1);
    TProbe LProbe{false, LFields["codec_name"], std::atoi(LFields["sample_rate"].c_str()),
                  std::atoi(LFields["channels"].c_str()), std::atof(LFields["duration"].c_str()),
                  std::atoi(LFields["bits_per_raw_sample"].c_str())};
    LProbe.Ok = LProbe.SampleRate > 0;
    return LProbe;
}

std::vector<int32_t> DecodeWithFfmpeg(const std::string& AFile)
{
    const std::string LRaw = AFile + ".s32";
    Shell("ffmpeg -v error -y -i " + Quote(AFile) + " -f s32le -acodec pcm_s32le " + Quote(LRaw));
    const std::string LBytes = ReadFile(LRaw);
    std::vector<int32_t> LSamples(LBytes.size() / 4);
    if (!LSamples.empty()) // A file that decodes to nothing leaves no bytes to copy.
        std::memcpy(LSamples.data(), LBytes.data(), LSamples.size() * 4);
    std::filesystem::remove(LRaw);
    return LSamples;
}

int32_t SignalAligned(uint64_t AFrame, unsigned AChannel, unsigned ARate)
{
    const double LFrequency = 300.0 + 200.0 * AChannel;
    const double LValue = 0.5 * std::sin(2 * M_PI * LFrequency * static_cast<double>(AFrame) / ARate);
    // A slow ramp in the low bits, so exactness checks see every bit.
    const int64_t LRamp = static_cast<int64_t>((AFrame * 7919 + AChannel * 104729) % 65536) * 256;
    return static_cast<int32_t>(std::llround(LValue * 2147483647.0) + LRamp);
}

int32_t Narrow(int32_t AAligned, unsigned ABits)
{
    return AAligned >> (32 - ABits);
}

ISNAudioBufferPtr SignalBuffer(const WAVEFORMATEXTENSIBLE& AFormat, uint64_t AFirst, uint32_t AFrames)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateWaveFormat(AFormat, AFrames);
    const unsigned LBits = AFormat.Format.wBitsPerSample;
    for (uint32_t F = 0; F < AFrames; ++F)
        for (unsigned C = 0; C < AFormat.Format.nChannels; ++C) {
            int32_t LValue = Narrow(SignalAligned(AFirst + F, C, AFormat.Format.nSamplesPerSec), LBits);
            if (LBits == 8)
                LValue += 128;
            PutSample(*LBuffer, F, C, LValue);
        }
    return LBuffer;
}

std::vector<int32_t> AlignedSamples(const std::vector<ISNAudioBufferPtr>& ABuffers)
{
    std::vector<int32_t> LSamples;
    for (const ISNAudioBufferPtr& LBuffer : ABuffers) {
        const unsigned LBits = LBuffer->GetBitsPerSample();
        for (uint32_t F = 0; F < LBuffer->GetSize(); ++F)
            for (uint32_t C = 0; C < LBuffer->GetChannels(); ++C) {
                const int32_t LValue = LBuffer->GetItem(F, C) - (LBits == 8 ? 128 : 0);
                LSamples.push_back(static_cast<int32_t>(static_cast<uint32_t>(LValue) << (32 - LBits)));
            }
    }
    return LSamples;
}

size_t SignalMismatches(const std::vector<int32_t>& ASamples, uint64_t AFrames, unsigned AChannels, unsigned ABits,
                        unsigned ARate)
{
    size_t LMismatches = 0;
    for (uint64_t F = 0; F < AFrames; ++F)
        for (unsigned C = 0; C < AChannels; ++C)
            LMismatches += Narrow(ASamples.at(F * AChannels + C), ABits) != Narrow(SignalAligned(F, C, ARate), ABits);
    return LMismatches;
}

TPacketCollector::TPacketCollector() : FInputPin(this, "InputPin")
{
    FInputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        Log.push_back(AOperation->GetName());
        if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
            Packets.push_back(LBuffer->Block);
            const auto* LBytes = static_cast<const uint8_t*>(LBuffer->Block->Read());
            Stream.insert(Stream.end(), LBytes, LBytes + LBuffer->Block->GetSize());
            TSNCodecPacketHeader LHeader;
            const uint8_t* LData;
            if (ParseCodecPacket(*LBuffer->Block, LHeader, LData)) {
                Headers.push_back(LHeader);
                Data.emplace_back(LData, LData + LHeader.bytes);
            }
        }
        if (auto* LRate = OperationAs<TPNStartSampleRateOperation>(AOperation))
            Rate = LRate->SampleRate;
        Stops += OperationAs<TPNStopOperation>(AOperation) != nullptr;
        return true;
    });
}

const TClassDescription& KitClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TCodecTestKit";
        return LClass;
    }();
    return LDescription;
}

void FeedStream(TDGPNBinarySinkPin& AInput, const std::vector<uint8_t>& AStream, size_t AChunk)
{
    TDGPNBinarySourcePin LSource(nullptr, "OutputPin");
    LSource.Connect(AInput);
    LSource.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
    for (size_t LAt = 0; LAt < AStream.size();) {
        size_t LSize = AChunk;
        if (LSize == 0) {
            int32_t LBytes;
            std::memcpy(&LBytes, AStream.data() + LAt, 4);
            LSize = sizeof(TSNCodecPacketHeader) + static_cast<size_t>(LBytes);
        }
        LSize = std::min(LSize, AStream.size() - LAt);
        auto LBlock = TDGBlockBuffer::CreateSize(LSize);
        std::memcpy(LBlock->Write(), AStream.data() + LAt, LSize);
        LSource.Notify(std::make_shared<TPNSuppliedBufferOperation>(LBlock));
        LAt += LSize;
    }
    LSource.Notify(std::make_shared<TPNStopOperation>());
    LSource.Disconnect(AInput);
}

void TFeeder::Play(const WAVEFORMATEXTENSIBLE& AFormat, uint64_t AFrames, uint32_t AChunk, bool AStop)
{
    FOutputPin.SendStart(AFormat);
    for (uint64_t LDone = 0; LDone < AFrames;) {
        const auto LCount = static_cast<uint32_t>(std::min<uint64_t>(AChunk, AFrames - LDone));
        FOutputPin.SendBuffer(SignalBuffer(AFormat, LDone, LCount));
        LDone += LCount;
    }
    if (AStop)
        FOutputPin.SendStop();
}

TPlayResult PlayFile(TSNLAVAudioPlayer& APlayer)
{
    TPlayResult LResult;
    TTestCollector LCollector;
    APlayer.GetOutputPin().Connect(LCollector.GetInputPin());
    {
        TDGVirtualTimeScope LVirtual;
        try {
            APlayer.StartSource();
            LResult.Opened = APlayer.IsOpen();
        } catch (const std::exception& E) {
            LResult.Exception = E.what();
        }
        TDGTimeline::WaitIdle();
        APlayer.StopSource();
    }
    APlayer.GetOutputPin().Disconnect(LCollector.GetInputPin());
    LResult.Format = LCollector.Starts().empty() ? WAVEFORMATEXTENSIBLE{} : LCollector.Starts().front();
    LResult.Buffers = LCollector.Buffers();
    LResult.Frames = LCollector.Frames();
    LResult.Stops = LCollector.Stops();
    return LResult;
}

double ToneLevel(const std::vector<int32_t>& ASamples, unsigned AChannels, unsigned AChannel, double AFrequency,
                 double ARate)
{
    const size_t LFrames = ASamples.size() / AChannels;
    const double LOmega = 2 * M_PI * AFrequency / ARate;
    double LRe = 0, LIm = 0;
    for (size_t F = 0; F < LFrames; ++F) {
        const double LValue = ASamples[F * AChannels + AChannel] / 2147483648.0;
        LRe += LValue * std::cos(LOmega * static_cast<double>(F));
        LIm -= LValue * std::sin(LOmega * static_cast<double>(F));
    }
    // Amplitude of a sine at that frequency.
    return LFrames ? 2.0 * std::hypot(LRe, LIm) / static_cast<double>(LFrames) : 0.0;
}

std::vector<int32_t> MiddleHalf(const std::vector<int32_t>& ASamples, unsigned AChannels)
{
    const size_t LFrames = ASamples.size() / AChannels;
    const size_t LFirst = LFrames / 4, LCount = LFrames / 2;
    return {ASamples.begin() + static_cast<std::ptrdiff_t>(LFirst * AChannels),
            ASamples.begin() + static_cast<std::ptrdiff_t>((LFirst + LCount) * AChannels)};
}

void ExpectSignalTones(const std::vector<int32_t>& ASamples, unsigned AChannels, double ARate, double ATolerance)
{
    const std::vector<int32_t> LMiddle = MiddleHalf(ASamples, AChannels);
    for (unsigned C = 0; C < AChannels; ++C) {
        EXPECT_NEAR(ToneLevel(LMiddle, AChannels, C, 300.0 + 200.0 * C, ARate), 0.5, ATolerance) << "channel " << C;
        EXPECT_LT(ToneLevel(LMiddle, AChannels, C, 300.0 + 200.0 * (C + 1), ARate), 0.02) << "channel " << C;
        double LSum = 0;
        for (size_t I = C; I < LMiddle.size(); I += AChannels)
            LSum += std::pow(LMiddle[I] / 2147483648.0, 2);
        EXPECT_NEAR(std::sqrt(LSum / static_cast<double>(LMiddle.size() / AChannels)), 0.5 / std::sqrt(2.0),
                    ATolerance) << "channel " << C;
    }
}

std::pair<std::string, std::string> RunBindingProbe(const std::string& ABinding, const std::string& ALibrary,
                                                    const std::string& AWrapper, const std::string& AIncomplete)
{
    TTempDir LDir;
    const std::string LName = std::filesystem::path(ALibrary).filename().string();
    std::filesystem::copy_file(ALibrary, LDir.Path(LName));
    const std::string LWrapperName = std::filesystem::path(AWrapper).filename().string();
    const std::string LRun =
        "LD_LIBRARY_PATH=" + Quote(LDir.Path("")) + " " + Quote(SONORIX_BINDING_PROBE) + " " + ABinding;
    const std::string LLoad = Shell(LRun + " " + Quote(AWrapper) + " " + Quote(LDir.Path(LWrapperName))).Output;
    std::filesystem::copy_file(AIncomplete, LDir.Path(LWrapperName), std::filesystem::copy_options::overwrite_existing);
    return {LLoad, Shell(LRun).Output};
}

} // namespace Sonorix::Test::Codecs
