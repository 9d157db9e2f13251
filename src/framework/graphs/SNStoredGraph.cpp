// SPDX-License-Identifier: MIT
#include "SNStoredGraph.h"

#include "CVRegistry.h"
#include "DGRealPins.h"
#include "PNPins.h"
#include "SNGraphBuild.h"
#include "SNStreamSource.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <map>
#include <new>
#include <set>
#include <ostream>
#include <sstream>

namespace Sonorix {

namespace {

// Larger texts are refused rather than read into memory, and graphs with
// more components rather than built.
constexpr size_t CMaxGraphBytes = 16 * 1024 * 1024;

std::string Lower(std::string_view AText)
{
    std::string LResult(AText);
    for (char& C : LResult)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return LResult;
}

bool IsIdentifier(std::string_view A)
{
    if (A.empty() || !(std::isalpha(static_cast<unsigned char>(A[0])) || A[0] == '_'))
        return false;
    for (char C : A)
        if (!(std::isalnum(static_cast<unsigned char>(C)) || C == '_'))
            return false;
    return true;
}

// Messages hold names and values taken from the text: control bytes become
// '?' and very long messages are cut, so an error stays one readable line.
std::string OneLine(std::string_view AText)
{
    constexpr size_t CMaxShown = 400;
    std::string LResult;
    for (char C : AText.substr(0, CMaxShown)) {
        const auto U = static_cast<unsigned char>(C);
        LResult += (U < 0x20 || U == 0x7F) ? '?' : C;
    }
    if (AText.size() > CMaxShown)
        LResult += "...";
    return LResult;
}

std::string Where(const std::string& AFile, int ALine, int AColumn)
{
    if (AFile.empty())
        return {};
    return AFile + (ALine > 0 ? ":" + std::to_string(ALine) + ":" + std::to_string(AColumn) : std::string()) + ": ";
}

// --- Writing -------------------------------------------------------------------

// A value as one word of pipeline text: bare when it needs no quotes, else
// in single quotes, with a single quote itself written as '"'"' (quoted runs
// join their neighbours).
std::string Quote(const std::string& AValue)
{
    bool LBare = !AValue.empty() && AValue[0] != '#';
    for (char C : AValue) {
        const auto U = static_cast<unsigned char>(C);
        if (U <= 0x20 || U == 0x7F || C == '\'' || C == '"' || C == '!' || C == '#')
            LBare = false;
    }
    if (LBare)
        return AValue;
    std::string LResult = "'";
    for (char C : AValue)
        LResult += C == '\'' ? std::string("'\"'\"'") : std::string(1, C);
    return LResult + "'";
}

// Appends " Path=Value" for every value of AObject that differs from the
// same value of AFresh, a fresh object of the same class. A collection's
// count goes first and is applied to the fresh one too, so its items are
// compared with the items that such a count creates.
void AppendChanged(TPersistent& AObject, TPersistent& AFresh, const std::string& APrefix, std::string& ALine)
{
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        if (LInfo->IsValue()) {
            if (LInfo->ReadOnly || !LInfo->Stored || !LInfo->GetText || !LInfo->SetText)
                continue;
            std::string LValue = LInfo->GetText(AObject);
            if (LValue != LInfo->GetText(AFresh))
                ALine += " " + APrefix + LInfo->Name + "=" + Quote(LValue);
        } else if (LInfo->Kind == TPropertyKind::pkObject) {
            AppendChanged(*LInfo->GetObject(AObject), *LInfo->GetObject(AFresh), APrefix + LInfo->Name + ".", ALine);
        } else if (LInfo->Kind == TPropertyKind::pkCollection) {
            TCollection* LItems = LInfo->GetCollection(AObject);
            TCollection* LFreshItems = LInfo->GetCollection(AFresh);
            const int LCount = LItems->GetCount();
            if (LCount != LFreshItems->GetCount()) {
                ALine += " " + APrefix + LInfo->Name + ".Count=" + std::to_string(LCount);
                LFreshItems->SetCount(LCount);
            }
            for (int I = 0; I < LCount; ++I)
                AppendChanged(*LItems->GetItem(I), *LFreshItems->GetItem(I),
                              APrefix + LInfo->Name + "[" + std::to_string(I) + "].", ALine);
        }
    }
}

// --- Reading -------------------------------------------------------------------

[[noreturn]] void Fail(const std::string& AWhat, size_t APosition)
{
    throw ESNGraphError(AWhat, {}, APosition);
}

// The pin an endpoint names; ASource tells which side of '!' it stands on.
TPNPin& ResolveEndpoint(TSNGraph& AGraph, const std::vector<size_t>& ANodeOfElement, const Cli::TEndpoint& AEndpoint,
                        bool ASource)
{
    const char* LSide = ASource ? "output" : "input";
    if (!AEndpoint.IsPin()) {
        const TSNGraphNode& LNode = AGraph.Nodes()[ANodeOfElement[AEndpoint.ElementIndex()]];
        TPNPin* LPin = FindPrimaryPin(*LNode.Component, ASource);
        if (!LPin)
            Fail(LNode.Name + " (" + LNode.Component->GetClassDescription().ClassName + ") has no primary " + LSide +
                     " pin; name one (" + LNode.Name + ".Pin)",
                 AEndpoint.Position);
        return *LPin;
    }
    const Cli::TPinRef& LRef = AEndpoint.Pin();
    TSNGraphNode* LNode = AGraph.Find(LRef.Element);
    if (!LNode)
        Fail("unknown element '" + LRef.Element + "' in '" + Cli::ToString(LRef) + "'", AEndpoint.Position);
    const TPropertyInfo* LInfo = LNode->Component->GetClassDescription().FindProperty(LRef.Pin);
    TPNPin* LPin = FindPin(*LNode->Component, LRef.Pin, LRef.Index);
    // A published method after '!' gets a pin of its own that calls it.
    if (const TMethodInfo* LMethod = LNode->Component->GetClassDescription().FindMethod(LRef.Pin);
        !LPin && LMethod && !ASource && !LRef.Index)
        return AGraph.AddMethodPin(*LNode, *LMethod);
    if (!LPin) {
        std::string LWhy = !LInfo ? "no such pin"
                           : LInfo->Kind == TPropertyKind::pkPinList
                               ? (LRef.Index ? "index beyond the list's count" : "a pin list needs an index")
                           : LInfo->Kind == TPropertyKind::pkPin ? "a single pin takes no index"
                                                                 : "not a pin";
        Fail(LNode->Name + " has no pin '" + Cli::ToString(LRef).substr(LRef.Element.size() + 1) + "' (" + LWhy + ")",
             AEndpoint.Position);
    }
    const TPNPinDirection LWanted = ASource ? TPNPinDirection::pdSource : TPNPinDirection::pdSink;
    if (LPin->GetDirection() != LWanted)
        Fail(Cli::ToString(LRef) + " is an " + (ASource ? "input" : "output") + " pin; it cannot stand " +
                 (ASource ? "before" : "after") + " '!'",
             AEndpoint.Position);
    return *LPin;
}

// "SNAmplifier1", "SNAmplifier2": the class name without its T, numbered.
std::string AutomaticName(const std::string& AClassName, std::map<std::string, int>& ACounts)
{
    std::string LBase = AClassName.size() > 1 && AClassName[0] == 'T' ? AClassName.substr(1) : AClassName;
    return LBase + std::to_string(++ACounts[LBase]);
}

} // namespace

ESNGraphError::ESNGraphError(const std::string& AWhat, std::string AFile, size_t APosition, int ALine, int AColumn)
    : EDGException(Where(AFile, ALine, AColumn) + OneLine(AWhat)), FWhat(OneLine(AWhat)), FFile(std::move(AFile)),
      FPosition(APosition), FLine(ALine), FColumn(AColumn)
{
}

// --- TSNGraph --------------------------------------------------------------------

TSNGraph::~TSNGraph()
{
    Stop();
    // Disconnect everything first so no component sees a neighbour die.
    for (const TSNGraphLink& LLink : FLinks)
        LLink.From->Disconnect(*LLink.To);
    while (!FNodes.empty())
        FNodes.pop_back();
}

TSNGraphNode& TSNGraph::Add(const std::string& AName, TLockComponentPtr AComponent)
{
    if (!AComponent)
        throw ESNGraphError("no component given for '" + AName + "'");
    if (!IsIdentifier(AName))
        throw ESNGraphError("bad component name '" + AName + "' (expected letters, digits and '_')");
    if (Find(AName))
        throw ESNGraphError("two components are named '" + AName + "'");
    AComponent->SetName(AName);
    FIndex.emplace(Lower(AName), FNodes.size());
    FNodes.push_back({AName, std::move(AComponent)});
    return FNodes.back();
}

TPNSinkPin& TSNGraph::AddMethodPin(TSNGraphNode& ANode, const TMethodInfo& AMethod)
{
    FMethodPins.push_back(
        std::make_unique<TPNMethodSinkPin>(ANode.Component.get(), AMethod.Name, AMethod.Bind(*ANode.Component)));
    return *FMethodPins.back();
}

void TSNGraph::Connect(TPNSourcePin& AFrom, TPNSinkPin& ATo)
{
    if (!NodeOf(AFrom.GetOwner()) || !NodeOf(ATo.GetOwner()))
        throw EPinConnectError("cannot connect " + AFrom.GetPath() + " to " + ATo.GetPath() +
                               ": both pins must belong to components of the graph");
    AFrom.Connect(ATo);
    FLinks.push_back({&AFrom, &ATo});
}

TSNGraphNode* TSNGraph::Find(std::string_view AName)
{
    const auto LFound = FIndex.find(Lower(AName));
    return LFound == FIndex.end() ? nullptr : &FNodes[LFound->second];
}

const TSNGraphNode* TSNGraph::NodeOf(const TPersistent* AComponent) const
{
    for (const TSNGraphNode& LNode : FNodes)
        if (static_cast<const TPersistent*>(LNode.Component.get()) == AComponent)
            return &LNode;
    return nullptr;
}

void TSNGraph::Start()
{
    for (const TSNGraphNode& LNode : FNodes) {
        auto* LSource = dynamic_cast<ISNStreamSource*>(LNode.Component.get());
        if (!LSource)
            continue;
        bool LFed = false;
        for (TPNPin* LPin : AllPins(*LNode.Component))
            LFed |= LPin->GetDirection() == TPNPinDirection::pdSink && LPin->IsConnected();
        if (!LFed)
            LSource->StartSource();
    }
}

void TSNGraph::Stop()
{
    for (const TSNGraphNode& LNode : FNodes)
        if (auto* LSource = dynamic_cast<ISNStreamSource*>(LNode.Component.get()))
            LSource->StopSource();
}

bool TSNGraph::IsRunning() const
{
    for (const TSNGraphNode& LNode : FNodes)
        if (auto* LSource = dynamic_cast<const ISNStreamSource*>(LNode.Component.get()))
            if (LSource->IsSourceRunning())
                return true;
    return false;
}

// --- Building ----------------------------------------------------------------------

std::unique_ptr<TSNGraph> BuildGraph(const Cli::TPipeline& APipeline)
{
    // Every class and name is checked before anything is created.
    if (APipeline.Elements.size() > CMaxGraphComponents)
        Fail("more than " + std::to_string(CMaxGraphComponents) + " components", APipeline.Elements[CMaxGraphComponents].Position);
    std::vector<const TClassDescription*> LClasses;
    std::vector<std::string> LNames;
    std::set<std::string> LTaken;
    std::map<std::string, int> LCounts;
    for (const Cli::TElement& LElement : APipeline.Elements) {
        const TClassDescription* LClass = TSNRegistry::Instance().Find(LElement.ClassName);
        if (!LClass)
            Fail("unknown component '" + LElement.ClassName + "'", LElement.Position);
        std::string LName = LElement.Name.empty() ? AutomaticName(LClass->ClassName, LCounts) : LElement.Name;
        if (!LTaken.insert(Lower(LName)).second)
            Fail("two elements are named '" + LName + "'", LElement.Position);
        LClasses.push_back(LClass);
        LNames.push_back(std::move(LName));
    }

    auto LGraph = std::make_unique<TSNGraph>();
    std::vector<size_t> LNodeOfElement;
    for (size_t I = 0; I < LClasses.size(); ++I) {
        LNodeOfElement.push_back(LGraph->Nodes().size());
        try {
            LGraph->Add(LNames[I], LClasses[I]->Factory());
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& E) {
            Fail(LNames[I] + " (" + LClasses[I]->ClassName + ") cannot be created: " + E.what(),
                 APipeline.Elements[I].Position);
        }
    }

    // Settings come before links: a count may create the pins a link names.
    for (size_t I = 0; I < APipeline.Elements.size(); ++I) {
        const TSNGraphNode& LNode = LGraph->Nodes()[LNodeOfElement[I]];
        for (const Cli::TSetting& LSetting : APipeline.Elements[I].Settings) {
            try {
                if (LSetting.At) {
                    // Checked now (path and value), applied at its time by whoever runs the graph.
                    const std::string LNow = GetPropertyText(*LNode.Component, LSetting.Path);
                    SetPropertyText(*LNode.Component, LSetting.Path, LSetting.Value);
                    SetPropertyText(*LNode.Component, LSetting.Path, LNow);
                    LGraph->AddTimedSetting({LNodeOfElement[I], LSetting.Path, LSetting.Value, *LSetting.At});
                    continue;
                }
                SetPropertyText(*LNode.Component, LSetting.Path, LSetting.Value);
            } catch (const EPropertyError& E) {
                Fail(E.what(), LSetting.Position);
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception& E) {
                // A setter that failed for another reason (a file it opens).
                Fail("property '" + LSetting.Path + "' of " + LNode.Name + ": " + E.what(), LSetting.Position);
            }
        }
    }

    for (const Cli::TLink& LLink : APipeline.Links) {
        TPNPin& LFrom = ResolveEndpoint(*LGraph, LNodeOfElement, LLink.From, true);
        TPNPin& LTo = ResolveEndpoint(*LGraph, LNodeOfElement, LLink.To, false);
        try {
            LGraph->Connect(static_cast<TPNSourcePin&>(LFrom), static_cast<TPNSinkPin&>(LTo));
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& E) {
            Fail(E.what(), LLink.Position);
        }
    }
    return LGraph;
}

// --- Stored form -------------------------------------------------------------------

void StoreGraph(const TSNGraph& AGraph, std::ostream& AOut)
{
    AOut << StoreGraphText(AGraph);
    if (!AOut)
        throw ESNGraphError("cannot write the graph: the stream failed");
}

std::string StoreGraphText(const TSNGraph& AGraph)
{
    std::string LText;
    for (size_t N = 0; N < AGraph.Nodes().size(); ++N) {
        const TSNGraphNode& LNode = AGraph.Nodes()[N];
        const TClassDescription& LClass = LNode.Component->GetClassDescription();
        if (!LClass.Factory)
            throw ESNGraphError(LNode.Name + " (" + LClass.ClassName + ") is of a class that cannot be created by name");
        std::string LLine = LClass.ClassName + " name=" + LNode.Name;
        TLockComponentPtr LFresh = LClass.Factory();
        AppendChanged(*LNode.Component, *LFresh, "", LLine);
        for (const TSNTimedSetting& LTimed : AGraph.TimedSettings())
            if (LTimed.Node == N)
                LLine += " " + LTimed.Path + "@" + FormatReal(LTimed.At) + "=" + Quote(LTimed.Value);
        LText += LLine + "\n";
    }
    for (const TSNGraphLink& LLink : AGraph.Links()) {
        const TSNGraphNode* LFrom = AGraph.NodeOf(LLink.From->GetOwner());
        const TSNGraphNode* LTo = AGraph.NodeOf(LLink.To->GetOwner());
        SNAssert(LFrom && LTo, "a link of the graph between components outside it");
        LText += LFrom->Name + "." + LLink.From->GetName() + " ! " + LTo->Name + "." + LLink.To->GetName() + "\n";
    }
    return LText;
}

std::unique_ptr<TSNGraph> ReadGraphText(std::string_view AText, const std::string& AFile)
{
    auto LAt = [&](size_t APosition, const std::string& AWhat) {
        APosition = std::min(APosition, AText.size());
        int LLine = 1;
        size_t LLineStart = 0;
        for (size_t I = 0; I < APosition; ++I)
            if (AText[I] == '\n') {
                ++LLine;
                LLineStart = I + 1;
            }
        return ESNGraphError(AWhat, AFile, APosition, LLine, static_cast<int>(APosition - LLineStart + 1));
    };
    Cli::TPipeline LPipeline;
    try {
        LPipeline = Cli::ParsePipeline(AText);
    } catch (const Cli::TPipelineError& E) {
        // The parser's message ends in " at position N"; here the place is
        // told as line and column instead.
        std::string LWhat = E.what();
        if (size_t LAtPos = LWhat.rfind(" at position "); LAtPos != std::string::npos)
            LWhat.resize(LAtPos);
        if (LWhat.starts_with("pipeline: "))
            LWhat.erase(0, 10);
        throw LAt(E.Position(), LWhat);
    }
    try {
        return BuildGraph(LPipeline);
    } catch (const ESNGraphError& E) {
        throw LAt(E.Position(), E.What());
    }
}

std::unique_ptr<TSNGraph> ReadGraph(std::istream& AIn, const std::string& AFile)
{
    std::string LText;
    char LBuffer[65536];
    while (AIn.read(LBuffer, sizeof(LBuffer)) || AIn.gcount() > 0) {
        LText.append(LBuffer, static_cast<size_t>(AIn.gcount()));
        if (LText.size() > CMaxGraphBytes)
            throw ESNGraphError("the graph is larger than " + std::to_string(CMaxGraphBytes) + " bytes", AFile);
    }
    if (AIn.bad())
        throw ESNGraphError("cannot read the graph", AFile);
    return ReadGraphText(LText, AFile);
}

std::unique_ptr<TSNGraph> ReadGraphFile(const std::string& APath)
{
    std::ifstream LFile(APath, std::ios::binary);
    if (!LFile)
        throw ESNGraphError("cannot open '" + APath + "': " + std::strerror(errno));
    return ReadGraph(LFile, APath);
}

} // namespace Sonorix
