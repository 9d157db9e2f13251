// SPDX-License-Identifier: MIT
#include "Commands.h"

#include "CliError.h"
#include "CVRegistry.h"
#include "Graph.h"
#include "PNPins.h"
#include "PipelineParser.h"
#include "Runner.h"
#include "SNModule.h"
#include "SNStoredGraph.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <vector>

namespace Sonorix::Cli {

namespace {

const char* CVersion = "sonorix 0.1.0";

// What `sonorix demo` writes, unless --wav names a file.
constexpr const char* CDemoFile = "sonorix-demo.flac";
constexpr const char* CDemoWriter = "out";

const char* CUsage = R"(usage: sonorix list
       sonorix inspect CLASS
       sonorix run [OPTIONS] PIPELINE
       sonorix run [OPTIONS] -f GRAPH.snx
       sonorix demo [OPTIONS]
       sonorix --help | --version
Each command may be preceded by --load MODULE (repeatable): a component
module (shared library) whose classes list, inspect and run then know, as
they know those of every *.so in the folders of SONORIX_MODULE_PATH
(colon-separated), loaded first.

Pipeline: elements joined by '!', for example
  sonorix run 'TSNSignalGen Frequency=440 ! TSNAmplifier Coefficient=0.5' --duration 2 --wav out.wav
An element is a class name (TSN prefix optional) with Property=Value settings;
name=N names it; N.Pin or N.PinList[i] names one of its pins.

Options of run and demo:
  --duration S   stop every source after S seconds of audio
  --realtime     run clocks in real time (default: virtual time)
  --wav FILE     write free audio outputs to FILE (FILE-N.wav for several)
  --events       print events and pin values as JSON lines on standard output
  --dot FILE     write the pipeline graph as Graphviz DOT
  --quiet        no progress line
  -f FILE        (run) read the graph from a stored graph file instead
  --save FILE    (run) write the graph, as built, to FILE in stored form

The demo writes sonorix-demo.flac through the libav logger (--wav FILE: WAV to FILE).
)";

std::string RangeText(const TPropertyInfo& AInfo)
{
    std::ostringstream LText;
    if (AInfo.Min && AInfo.Max)
        LText << "range " << FormatReal(*AInfo.Min) << " .. " << FormatReal(*AInfo.Max);
    else if (AInfo.Min)
        LText << "min " << FormatReal(*AInfo.Min);
    else if (AInfo.Max)
        LText << "max " << FormatReal(*AInfo.Max);
    if (AInfo.DesignMin && AInfo.DesignMax)
        LText << (LText.tellp() > 0 ? "  " : "") << "design " << FormatReal(*AInfo.DesignMin) << " .. "
              << FormatReal(*AInfo.DesignMax);
    return LText.str();
}

// The rows of AClass; nested objects and collection items are shown from
// AObject when there is one, else from their descriptions alone.
void PrintProperties(std::ostream& AOut, const TClassDescription& AClass, TPersistent* AObject,
                     const std::string& AIndent)
{
    for (const TPropertyInfo* LInfo : AClass.AllProperties()) {
        if (LInfo->Kind == TPropertyKind::pkPin || LInfo->Kind == TPropertyKind::pkPinList)
            continue;
        AOut << AIndent << std::left << std::setw(static_cast<int>(28 - AIndent.size())) << LInfo->Name << ' '
             << std::setw(20) << LInfo->TypeName;
        if (LInfo->DefaultText)
            AOut << " default " << (LInfo->DefaultText->empty() ? "''" : *LInfo->DefaultText);
        if (std::string LRange = RangeText(*LInfo); !LRange.empty())
            AOut << "  " << LRange;
        if (LInfo->Enum) {
            AOut << "  values";
            for (const char* LName : LInfo->Enum->Names)
                AOut << ' ' << LName;
        }
        for (const std::string& LOld : LInfo->OldNames)
            AOut << "  legacy name " << LOld;
        if (LInfo->ReadOnly)
            AOut << "  read-only";
        if (!LInfo->FileFilter.empty())
            AOut << "  files \"" << LInfo->FileFilter << "\"";
        if (!LInfo->EditorEntry.empty())
            AOut << "  editor \"" << LInfo->EditorEntry << "\"";
        if (!LInfo->DefaultAssociation.empty())
            AOut << "  associated with " << LInfo->DefaultAssociation;
        if (LInfo->Ownership == TFieldOwnership::foAutoManage)
            AOut << "  owned";
        AOut << '\n';
        if (!AObject)
            continue;
        if (LInfo->Kind == TPropertyKind::pkObject) {
            TPersistent* LObject = LInfo->GetObject(*AObject);
            PrintProperties(AOut, LObject->GetClassDescription(), LObject, AIndent + "  ");
        } else if (LInfo->Kind == TPropertyKind::pkCollection) {
            TCollection* LCollection = LInfo->GetCollection(*AObject);
            AOut << AIndent << "  Count (" << LCollection->GetCount() << " items by default), each item a "
                 << LCollection->GetItemDescription().ClassName << ":\n";
            // An empty collection still shows what its items hold.
            TPersistent* LItem = LCollection->GetCount() > 0 ? LCollection->GetItem(0) : nullptr;
            PrintProperties(AOut, LItem ? LItem->GetClassDescription() : LCollection->GetItemDescription(), LItem,
                            AIndent + "  [i].");
        }
    }
}

void PrintProperties(std::ostream& AOut, TPersistent& AObject, const std::string& AIndent)
{
    PrintProperties(AOut, AObject.GetClassDescription(), &AObject, AIndent);
}

void PrintPins(std::ostream& AOut, TPersistent& AObject)
{
    // Name, class and the rest of each row; the columns are as wide as
    // their longest entry, so a long class name never runs into the next.
    struct TRow {
        std::string Name, Class, Rest;
    };
    std::vector<TRow> LRows;
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        std::ostringstream LRest;
        if (LInfo->Kind == TPropertyKind::pkPin) {
            TPNPin* LPin = LInfo->GetPin(AObject);
            LRest << (LPin->GetDirection() == TPNPinDirection::pdSink ? "input  " : "output ")
                  << DataTypeName(LPin->GetDataType()) << (LInfo->Primary ? "  primary" : "");
            for (const std::string& LOld : LInfo->OldNames)
                LRest << "  legacy name " << LOld;
            LRows.push_back({LInfo->Name, LInfo->PinClass, LRest.str()});
        } else if (LInfo->Kind == TPropertyKind::pkPinList) {
            TPNPinList* LList = LInfo->GetPinList(AObject);
            LRest << (LList->GetDirection() == TPNPinDirection::pdSink ? "input  " : "output ")
                  << DataTypeName(LList->GetDataType()) << "  count " << LList->GetCount()
                  << (LInfo->ResizeProperty.empty() ? "" : " (follows " + LInfo->ResizeProperty + ")")
                  << (LInfo->Primary ? "  primary" : "");
            LRows.push_back({LInfo->Name + "[]", "list of " + LInfo->PinClass, LRest.str()});
        }
    }
    size_t LNameWidth = 26, LClassWidth = 27;
    for (const TRow& LRow : LRows) {
        LNameWidth = std::max(LNameWidth, LRow.Name.size());
        LClassWidth = std::max(LClassWidth, LRow.Class.size());
    }
    for (const TRow& LRow : LRows)
        AOut << "  " << std::left << std::setw(static_cast<int>(LNameWidth)) << LRow.Name << ' '
             << std::setw(static_cast<int>(LClassWidth)) << LRow.Class << ' ' << LRow.Rest << '\n';
}

int List(std::ostream& AOut)
{
    for (const TClassDescription* LClass : TSNRegistry::Instance().List())
        AOut << LClass->ClassName << '\t' << CategoryName(LClass->Category) << '\t' << LClass->DisplayName << '\n';
    return CExitOk;
}

int Inspect(const std::vector<std::string>& AArguments, std::ostream& AOut)
{
    if (AArguments.size() != 1)
        throw TCliError("inspect takes one class name (sonorix inspect TSNAmplifier)");
    const TClassDescription* LClass = TSNRegistry::Instance().Find(AArguments[0]);
    if (!LClass)
        throw TCliError("unknown component '" + AArguments[0] + "' (sonorix list shows the registered ones)");
    TLockComponentPtr LComponent = LClass->Factory();
    AOut << LClass->ClassName << "  \"" << LClass->DisplayName << "\"\n";
    AOut << "  unit " << LClass->Unit << ", palette page " << CategoryName(LClass->Category) << " ("
         << CategoryClassName(LClass->Category) << ")";
    std::string LBases;
    for (const TClassDescription* LBase = LClass->Parent; LBase; LBase = LBase->Parent)
        LBases += (LBases.empty() ? "" : " < ") + LBase->ClassName;
    if (!LBases.empty())
        AOut << ", derives from " << LBases;
    AOut << '\n';
    AOut << "Properties:\n";
    PrintProperties(AOut, *LComponent, "  ");
    for (const TClassDescription* LBase = LClass; LBase; LBase = LBase->Parent)
        for (const TRemovedProperty& LRemoved : LBase->RemovedProperties)
            AOut << "  " << LRemoved.OldName << " (" << LRemoved.TypeName << ", legacy) is read into "
                 << LRemoved.NewPath << '\n';
    AOut << "Pins:\n";
    PrintPins(AOut, *LComponent);
    std::vector<const TEventInfo*> LEvents = LClass->AllEvents();
    if (!LEvents.empty()) {
        AOut << "Events:\n";
        for (const TEventInfo* LEvent : LEvents)
            AOut << "  " << LEvent->Name << '\n';
    }
    return CExitOk;
}

// Writes the graph's stored form to APath, whole or not at all.
void SaveGraph(TGraph& AGraph, const std::string& APath)
{
    std::string LText;
    try {
        LText = StoreGraphText(AGraph.Graph());
    } catch (const EDGException& E) {
        throw TCliError(std::string("cannot save the graph: ") + E.what(), CExitRuntimeError);
    }
    const std::string LTemporary = APath + ".tmp";
    {
        std::ofstream LFile(LTemporary, std::ios::binary | std::ios::trunc);
        LFile << LText;
        LFile.flush();
        if (!LFile) {
            const int LError = errno;
            std::remove(LTemporary.c_str());
            throw TCliError("cannot write '" + APath + "': " + std::strerror(LError), CExitRuntimeError);
        }
    }
    if (std::rename(LTemporary.c_str(), APath.c_str()) != 0) {
        const int LError = errno;
        std::remove(LTemporary.c_str());
        throw TCliError("cannot write '" + APath + "': " + std::strerror(LError), CExitRuntimeError);
    }
}

double ParseSeconds(const std::string& AText)
{
    double LValue = 0;
    try {
        LValue = ParseReal(AText);
    } catch (const EDGException&) {
        throw TCliError("--duration takes seconds, not '" + AText + "'");
    }
    if (LValue <= 0 || LValue > 1e7)
        throw TCliError("--duration must lie above 0 and at most 10000000 seconds, not '" + AText + "'");
    return LValue;
}

// Where a graph comes from and where it is saved (run only).
struct TGraphFiles {
    std::string Read;
    std::string Save;
};

// Splits run/demo arguments into options and pipeline words.
TRunOptions ParseOptions(const std::vector<std::string>& AArguments, std::string& APipeline,
                         TGraphFiles* AFiles = nullptr)
{
    TRunOptions LOptions;
    for (size_t I = 0; I < AArguments.size(); ++I) {
        const std::string& LArgument = AArguments[I];
        auto LValue = [&](const char* AName) -> const std::string& {
            if (I + 1 >= AArguments.size())
                throw TCliError(std::string(AName) + " needs a value");
            return AArguments[++I];
        };
        if (LArgument == "--duration")
            LOptions.Duration = ParseSeconds(LValue("--duration"));
        else if (LArgument == "--realtime")
            LOptions.RealTime = true;
        else if (LArgument == "--wav")
            LOptions.WavPath = LValue("--wav");
        else if (LArgument == "--events")
            LOptions.Events = true;
        else if (LArgument == "--dot")
            LOptions.DotPath = LValue("--dot");
        else if (LArgument == "--quiet")
            LOptions.Quiet = true;
        else if (AFiles && (LArgument == "-f" || LArgument == "--file"))
            AFiles->Read = LValue("-f");
        else if (AFiles && LArgument == "--save")
            AFiles->Save = LValue("--save");
        else if (LArgument.size() > 2 && LArgument.starts_with("--"))
            throw TCliError("unknown option '" + LArgument + "'");
        else
            APipeline += (APipeline.empty() ? "" : " ") + LArgument;
    }
    return LOptions;
}

// ASeconds, when given, receives the seconds of audio that reached the
// free outputs and the writers. APrepare, when given, adjusts the built
// graph before it runs.
// AFiles, when given, may name a stored graph to run instead of APipeline
// and a file to save the built graph to.
int RunText(const std::string& APipeline, const TRunOptions& AOptions, std::ostream& AOut, std::ostream& AErr,
            double* ASeconds = nullptr, const std::function<void(TGraph&)>& APrepare = {},
            const TGraphFiles& AFiles = {})
{
    std::unique_ptr<TGraph> LGraph;
    if (!AFiles.Read.empty()) {
        LGraph = TGraph::Load(AFiles.Read);
    } else {
        TPipeline LPipeline;
        try {
            LPipeline = ParsePipeline(APipeline);
        } catch (const TPipelineError& E) {
            throw TCliError(E.what());
        }
        LGraph = TGraph::Build(LPipeline);
    }
    if (!AFiles.Save.empty())
        SaveGraph(*LGraph, AFiles.Save);
    if (APrepare)
        APrepare(*LGraph);
    TRunner LRunner(*LGraph, AOptions, AOut, AErr);
    const int LCode = LRunner.Run();
    if (ASeconds)
        *ASeconds = LRunner.AudioSeconds();
    return LCode;
}

int Run(const std::vector<std::string>& AArguments, std::ostream& AOut, std::ostream& AErr)
{
    std::string LPipeline;
    TGraphFiles LFiles;
    TRunOptions LOptions = ParseOptions(AArguments, LPipeline, &LFiles);
    if (!LFiles.Read.empty() && !LPipeline.empty())
        throw TCliError("run takes a pipeline or -f FILE, not both (found '" + LPipeline + "')");
    if (LPipeline.empty() && LFiles.Read.empty())
        throw TCliError("run needs a pipeline (sonorix run 'TSNSignalGen ! TSNAmplifier') or -f FILE");
    return RunText(LPipeline, LOptions, AOut, AErr, nullptr, {}, LFiles);
}

int Demo(const std::vector<std::string>& AArguments, std::ostream& AOut, std::ostream& AErr)
{
    std::string LExtra;
    TRunOptions LOptions = ParseOptions(AArguments, LExtra);
    if (!LExtra.empty())
        throw TCliError("demo takes no pipeline, only options (found '" + LExtra + "')");
    const std::string LPipeline = DemoPipeline();
    if (LPipeline.empty()) {
        AErr << "sonorix demo: no source component is available yet, so there is nothing to play.\n"
                "The registered components are listed by 'sonorix list'.\n";
        return CExitOk;
    }
    if (!LOptions.Duration)
        LOptions.Duration = 2.0;
    // The result goes through the pipeline's own file writer: FLAC by
    // default, WAV when --wav names the file.
    const bool LWav = !LOptions.WavPath.empty();
    const std::string LFile = LWav ? LOptions.WavPath : std::string(CDemoFile);
    LOptions.WavPath.clear();
    std::error_code LError;
    std::filesystem::path LShown = std::filesystem::absolute(LFile, LError);
    if (LError)
        LShown = LFile;
    if (!LOptions.Quiet)
        AErr << "sonorix demo: " << LPipeline << " for " << *LOptions.Duration << " s into " << LShown.string()
             << '\n';
    double LSeconds = 0;
    const int LCode = RunText(LPipeline, LOptions, AOut, AErr, &LSeconds, [&](TGraph& AGraph) {
        TGraphNode* LWriter = AGraph.FindNode(CDemoWriter);
        if (!LWriter)
            throw TCliError("the demo pipeline has no writer named '" + std::string(CDemoWriter) + "'");
        SetPropertyText(*LWriter->Component, "FileName", LFile);
        if (LWav)
            SetPropertyText(*LWriter->Component, "FileFormat.FormatName", "wav");
    });
    if (LCode == CExitOk && !LOptions.Quiet)
        AErr << "sonorix demo: wrote " << std::fixed << std::setprecision(3) << LSeconds << " s of audio to "
             << LShown.string() << " (" << (LWav ? "WAV" : "FLAC")
             << ", 16-bit stereo 44100 Hz: a 440 Hz tone of amplitude 16000, halved by the amplifier: peak 8000)\n";
    return LCode;
}

} // namespace

std::string DemoPipeline()
{
    TSNRegistry& LRegistry = TSNRegistry::Instance();
    if (!LRegistry.Find("TSNSignalGen") || !LRegistry.Find("TSNLAVAudioLogger"))
        return {};
    std::string LPipeline = "TSNSignalGen name=gen Frequency=440 Amplitude=16000 ! TSNAmplifier Coefficient=0.5 ! "
                            "TSNLAVAudioLogger name=" +
                            std::string(CDemoWriter);
    // A meter on the tone: its levels show on the progress line while the demo runs.
    if (LRegistry.Find("TSNVUMeter"))
        LPipeline += "  gen.OutputPin ! TSNVUMeter name=level Mode=vmDecibel";
    return LPipeline;
}

namespace {

int Dispatch(const std::vector<std::string>& AArguments, std::ostream& AOut, std::ostream& AErr);

} // namespace

int SonorixMain(const std::vector<std::string>& AArguments, std::ostream& AOut, std::ostream& AErr)
{
    errno = 0;
    int LCode = Dispatch(AArguments, AOut, AErr);
    // Whatever a command printed (a listing, help, events) must have arrived.
    AOut.flush();
    if (!AOut && LCode == CExitOk) {
        AErr << "sonorix: cannot write to standard output (" << (errno ? std::strerror(errno) : "write failed")
             << ")" << std::endl;
        if (LCode == CExitOk)
            LCode = CExitRuntimeError;
    }
    return LCode;
}

namespace {

int Dispatch(const std::vector<std::string>& AArguments, std::ostream& AOut, std::ostream& AErr)
{
    try {
        if (const char* LFolders = std::getenv("SONORIX_MODULE_PATH"))
            LoadModulesFrom(LFolders);
        size_t LFirst = 0;
        for (; LFirst < AArguments.size() && AArguments[LFirst] == "--load"; LFirst += 2) {
            if (LFirst + 1 >= AArguments.size())
                throw TCliError("--load needs a module file (sonorix --load ./libgain.so list)");
            LoadModule(AArguments[LFirst + 1]);
        }
        if (LFirst >= AArguments.size())
            throw TCliError("a command is needed (sonorix --help lists them)");
        const std::string& LCommand = AArguments[LFirst];
        const std::vector<std::string> LRest(AArguments.begin() + LFirst + 1, AArguments.end());
        if (LCommand == "--help" || LCommand == "-h" || LCommand == "help") {
            AOut << CUsage;
            return CExitOk;
        }
        if (LCommand == "--version") {
            AOut << CVersion << '\n';
            return CExitOk;
        }
        if (LCommand == "list") {
            if (!LRest.empty())
                throw TCliError("list takes no arguments");
            return List(AOut);
        }
        if (LCommand == "inspect")
            return Inspect(LRest, AOut);
        if (LCommand == "run")
            return Run(LRest, AOut, AErr);
        if (LCommand == "demo")
            return Demo(LRest, AOut, AErr);
        throw TCliError("unknown command '" + LCommand + "' (sonorix --help lists them)");
    } catch (const TCliError& E) {
        AErr << "sonorix: " << DisplayLine(E.what()) << std::endl;
        return E.ExitCode();
    } catch (const std::exception& E) {
        AErr << "sonorix: " << DisplayLine(E.what()) << std::endl;
        return CExitRuntimeError;
    }
}

} // namespace

} // namespace Sonorix::Cli
