// SPDX-License-Identifier: MIT
// A pipeline built from its text or read from a stored graph file: the
// library's graph, with the tool's messages and its DOT view.
#pragma once

#include "CVRegistry.h"
#include "DotWriter.h"
#include "PipelineParser.h"
#include "SNStoredGraph.h"

#include <memory>
#include <string>
#include <vector>

namespace Sonorix::Cli {

using TGraphNode = TSNGraphNode;
using TGraphEdge = TSNGraphLink;
using TTimedSetting = TSNTimedSetting;

constexpr size_t CMaxPipelineElements = CMaxGraphComponents;

class TGraph {
public:
    // Throws TCliError naming the problem and its position in the text.
    static std::unique_ptr<TGraph> Build(const TPipeline& APipeline);
    // Reads a stored graph; throws TCliError naming file, line and column.
    static std::unique_ptr<TGraph> Load(const std::string& APath);

    const std::vector<TGraphNode>& Nodes() const { return FGraph->Nodes(); }
    const std::vector<TGraphEdge>& Edges() const { return FGraph->Links(); }
    TGraphNode* FindNode(std::string_view AName) { return FGraph->Find(AName); }
    const std::vector<TTimedSetting>& TimedSettings() const { return FGraph->TimedSettings(); }
    TSNGraph& Graph() { return *FGraph; }
    TDotGraph ToDot() const;

private:
    explicit TGraph(std::unique_ptr<TSNGraph> AGraph) : FGraph(std::move(AGraph)) {}
    std::unique_ptr<TSNGraph> FGraph;
};

} // namespace Sonorix::Cli
