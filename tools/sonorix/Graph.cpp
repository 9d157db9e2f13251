// SPDX-License-Identifier: MIT
#include "Graph.h"

#include "CliError.h"
#include "PNPins.h"
#include "SNGraphBuild.h"

namespace Sonorix::Cli {

std::unique_ptr<TGraph> TGraph::Build(const TPipeline& APipeline)
{
    if (APipeline.Elements.size() > CMaxPipelineElements)
        throw TCliError("the pipeline has " + std::to_string(APipeline.Elements.size()) + " elements; at most " +
                        std::to_string(CMaxPipelineElements) + " are allowed");
    try {
        return std::unique_ptr<TGraph>(new TGraph(BuildGraph(APipeline)));
    } catch (const ESNGraphError& E) {
        throw TCliError(E.What() + " at position " + std::to_string(E.Position()));
    }
}

std::unique_ptr<TGraph> TGraph::Load(const std::string& APath)
{
    try {
        return std::unique_ptr<TGraph>(new TGraph(ReadGraphFile(APath)));
    } catch (const ESNGraphError& E) {
        throw TCliError(E.what());
    }
}

TDotGraph TGraph::ToDot() const
{
    TDotGraph LDot;
    for (const TGraphNode& LNode : Nodes()) {
        TDotNode LDotNode;
        LDotNode.Name = LNode.Name;
        LDotNode.ClassName = LNode.Component->GetClassDescription().ClassName;
        LDotNode.Properties = ChangedProperties(*LNode.Component);
        for (TPNPin* LPin : AllPins(*LNode.Component))
            (LPin->GetDirection() == TPNPinDirection::pdSink ? LDotNode.InputPins : LDotNode.OutputPins)
                .push_back(LPin->GetName());
        LDot.Nodes.push_back(std::move(LDotNode));
    }
    for (const TGraphEdge& LEdge : Edges())
        LDot.Edges.push_back({LEdge.From->GetOwner()->GetDisplayPath(), LEdge.From->GetName(),
                              LEdge.To->GetOwner()->GetDisplayPath(), LEdge.To->GetName()});
    return LDot;
}

} // namespace Sonorix::Cli
