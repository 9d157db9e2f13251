// SPDX-License-Identifier: MIT
// A pipeline built from its text: components created through the registry,
// their properties set by path, their pins connected.
#pragma once

#include "CVRegistry.h"
#include "DotWriter.h"
#include "PipelineParser.h"

#include <memory>
#include <string>
#include <vector>

namespace Sonorix {
class TPNSourcePin;
class TPNSinkPin;
class TPNMethodSinkPin;
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

// A setting applied while the pipeline runs, at At seconds of audio.
struct TTimedSetting {
    TGraphNode* Node;
    std::string Path;
    std::string Value;
    double At;
    size_t Position;
};

class TGraph {
public:
    // Throws TCliError naming the problem and where it is.
    static std::unique_ptr<TGraph> Build(const TPipeline& APipeline);
    ~TGraph();

    const std::vector<TGraphNode>& Nodes() const { return FNodes; }
    const std::vector<TGraphEdge>& Edges() const { return FEdges; }
    const std::vector<TTimedSetting>& TimedSettings() const { return FTimedSettings; }
    TGraphNode* FindNode(std::string_view AName);
    TDotGraph ToDot() const;
    // A pin that calls ANode's published method with every arriving value;
    // owned by the graph.
    TPNSinkPin& AddMethodPin(TGraphNode& ANode, const TMethodInfo& AMethod);

private:
    TGraph() = default;
    std::vector<TGraphNode> FNodes;
    std::vector<TGraphEdge> FEdges;
    std::vector<TTimedSetting> FTimedSettings;
    // Pins that hand values to published methods ("gen.FrequencyChangeEvent").
    std::vector<std::unique_ptr<TPNMethodSinkPin>> FMethodPins;
};

} // namespace Sonorix::Cli
