// SPDX-License-Identifier: MIT
#include "Graph.h"

#include "CliError.h"
#include "PNPins.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace Sonorix::Cli {

namespace {

std::string LowerCase(std::string_view AText)
{
    std::string LResult(AText);
    std::transform(LResult.begin(), LResult.end(), LResult.begin(),
                   [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
    return LResult;
}

std::string At(size_t APosition)
{
    return " at position " + std::to_string(APosition);
}

// "SNAmplifier1", "SNAmplifier2": the class name without its T, numbered.
std::string AutomaticName(const std::string& AClassName, std::map<std::string, int>& ACounts)
{
    std::string LBase = AClassName.size() > 1 && AClassName[0] == 'T' ? AClassName.substr(1) : AClassName;
    return LBase + std::to_string(++ACounts[LBase]);
}

// The pin an endpoint names; ASource tells which side of '!' it stands on.
TPNPin& ResolveEndpoint(TGraph& AGraph, const std::vector<size_t>& ANodeOfElement, const TPipeline& APipeline,
                        const TEndpoint& AEndpoint, bool ASource)
{
    const char* LSide = ASource ? "output" : "input";
    if (!AEndpoint.IsPin()) {
        const TGraphNode& LNode = AGraph.Nodes()[ANodeOfElement[AEndpoint.ElementIndex()]];
        TPNPin* LPin = FindPrimaryPin(*LNode.Component, ASource);
        if (!LPin)
            throw TCliError(LNode.Name + " (" + LNode.Component->GetClassDescription().ClassName + ") has no primary " +
                            LSide + " pin" + At(AEndpoint.Position) + "; name one (" + LNode.Name + ".Pin)");
        return *LPin;
    }
    const TPinRef& LRef = AEndpoint.Pin();
    TGraphNode* LNode = AGraph.FindNode(LRef.Element);
    if (!LNode)
        throw TCliError("unknown element '" + LRef.Element + "' in '" + ToString(LRef) + "'" + At(AEndpoint.Position));
    const TPropertyInfo* LInfo = LNode->Component->GetClassDescription().FindProperty(LRef.Pin);
    TPNPin* LPin = FindPin(*LNode->Component, LRef.Pin, LRef.Index);
    if (!LPin) {
        std::string LWhy = !LInfo ? "no such pin"
                           : LInfo->Kind == TPropertyKind::pkPinList
                               ? (LRef.Index ? "index beyond the list's count" : "a pin list needs an index")
                           : LInfo->Kind == TPropertyKind::pkPin ? "a single pin takes no index"
                                                                 : "not a pin";
        throw TCliError(LNode->Name + " has no pin '" + ToString(LRef).substr(LRef.Element.size() + 1) + "' (" + LWhy +
                        ")" + At(AEndpoint.Position));
    }
    const TPNPinDirection LWanted = ASource ? TPNPinDirection::pdSource : TPNPinDirection::pdSink;
    if (LPin->GetDirection() != LWanted)
        throw TCliError(ToString(LRef) + " is an " + (ASource ? "input" : "output") + " pin; it cannot stand " +
                        (ASource ? "before" : "after") + " '!'" + At(AEndpoint.Position));
    (void)APipeline;
    return *LPin;
}

} // namespace

TGraph::~TGraph()
{
    // Disconnect everything first so no component sees a neighbour die.
    for (const TGraphEdge& LEdge : FEdges)
        LEdge.From->Disconnect(*LEdge.To);
    while (!FNodes.empty())
        FNodes.pop_back();
}

TGraphNode* TGraph::FindNode(std::string_view AName)
{
    const auto LFound = FIndex.find(LowerCase(AName));
    return LFound == FIndex.end() ? nullptr : &FNodes[LFound->second];
}

std::unique_ptr<TGraph> TGraph::Build(const TPipeline& APipeline)
{
    std::unique_ptr<TGraph> LGraph(new TGraph());
    std::map<std::string, int> LCounts;
    std::vector<size_t> LNodeOfElement;
    if (APipeline.Elements.size() > CMaxPipelineElements)
        throw TCliError("the pipeline has " + std::to_string(APipeline.Elements.size()) + " elements; at most " +
                        std::to_string(CMaxPipelineElements) + " are allowed");

    for (const TElement& LElement : APipeline.Elements) {
        const TClassDescription* LClass = TSNRegistry::Instance().Find(LElement.ClassName);
        if (!LClass)
            throw TCliError("unknown component '" + LElement.ClassName + "'" + At(LElement.Position) +
                            " (sonorix list shows the registered ones)");
        TGraphNode LNode;
        LNode.Name = LElement.Name.empty() ? AutomaticName(LClass->ClassName, LCounts) : LElement.Name;
        if (LGraph->FindNode(LNode.Name))
            throw TCliError("two elements are named '" + LNode.Name + "'" + At(LElement.Position));
        LNode.Component = LClass->Factory();
        LNode.Component->SetName(LNode.Name);
        LNodeOfElement.push_back(LGraph->FNodes.size());
        LGraph->FIndex.emplace(LowerCase(LNode.Name), LGraph->FNodes.size());
        LGraph->FNodes.push_back(std::move(LNode));
    }

    // Settings come before links: a count may create the pins a link names.
    for (size_t I = 0; I < APipeline.Elements.size(); ++I) {
        TGraphNode& LNode = LGraph->FNodes[LNodeOfElement[I]];
        for (const TSetting& LSetting : APipeline.Elements[I].Settings) {
            try {
                SetPropertyText(*LNode.Component, LSetting.Path, LSetting.Value);
            } catch (const EDGException& E) {
                throw TCliError(std::string(E.what()) + At(LSetting.Position));
            }
        }
    }

    for (const TLink& LLink : APipeline.Links) {
        TPNPin& LFrom = ResolveEndpoint(*LGraph, LNodeOfElement, APipeline, LLink.From, true);
        TPNPin& LTo = ResolveEndpoint(*LGraph, LNodeOfElement, APipeline, LLink.To, false);
        auto& LSource = static_cast<TPNSourcePin&>(LFrom);
        auto& LSink = static_cast<TPNSinkPin&>(LTo);
        try {
            LSource.Connect(LSink);
        } catch (const EPinConnectError& E) {
            throw TCliError(std::string(E.what()) + At(LLink.Position));
        }
        LGraph->FEdges.push_back({&LSource, &LSink});
    }
    return LGraph;
}

TDotGraph TGraph::ToDot() const
{
    TDotGraph LDot;
    for (const TGraphNode& LNode : FNodes) {
        TDotNode LDotNode;
        LDotNode.Name = LNode.Name;
        LDotNode.ClassName = LNode.Component->GetClassDescription().ClassName;
        LDotNode.Properties = ChangedProperties(*LNode.Component);
        for (TPNPin* LPin : AllPins(*LNode.Component))
            (LPin->GetDirection() == TPNPinDirection::pdSink ? LDotNode.InputPins : LDotNode.OutputPins)
                .push_back(LPin->GetName());
        LDot.Nodes.push_back(std::move(LDotNode));
    }
    for (const TGraphEdge& LEdge : FEdges)
        LDot.Edges.push_back({LEdge.From->GetOwner()->GetDisplayPath(), LEdge.From->GetName(),
                              LEdge.To->GetOwner()->GetDisplayPath(), LEdge.To->GetName()});
    return LDot;
}

} // namespace Sonorix::Cli
