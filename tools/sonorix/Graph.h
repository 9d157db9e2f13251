// SPDX-License-Identifier: MIT
// A pipeline built from its text: components created through the registry,
// their properties set by path, their pins connected.
#pragma once

#include "CVRegistry.h"
#include "DotWriter.h"
#include "PipelineParser.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Sonorix {
class TPNSourcePin;
class TPNSinkPin;
} // namespace Sonorix

namespace Sonorix::Cli {

struct TGraphNode {
    std::string Name;
    TLockComponentPtr Component;
};

struct TGraphEdge {
    TPNSourcePin* From;
    TPNSinkPin* To;
};

// The most elements a pipeline may hold: operations travel from component
// to component as nested calls, so a chain's length is bounded by the stack.
constexpr size_t CMaxPipelineElements = 10000;

class TGraph {
public:
    // Throws TCliError naming the problem and where it is.
    static std::unique_ptr<TGraph> Build(const TPipeline& APipeline);
    ~TGraph();

    const std::vector<TGraphNode>& Nodes() const { return FNodes; }
    const std::vector<TGraphEdge>& Edges() const { return FEdges; }
    TGraphNode* FindNode(std::string_view AName);
    TDotGraph ToDot() const;

private:
    TGraph() = default;
    std::vector<TGraphNode> FNodes;
    // Names in lower case (element names are case-insensitive) to indexes of FNodes.
    std::unordered_map<std::string, size_t> FIndex;
    std::vector<TGraphEdge> FEdges;
};

} // namespace Sonorix::Cli
