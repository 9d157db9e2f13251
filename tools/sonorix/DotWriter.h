// SPDX-License-Identifier: MIT
// The pipeline graph as Graphviz DOT, for `--dot`: one box per component with
// its name, class and changed properties, input pins along the top, output
// pins along the bottom, and an edge per connection from pin to pin.
//
//   TDotGraph G;
//   G.Nodes.push_back({"gen", "TSNSignalGen", {{"Frequency", "440"}}, {}, {"OutputPin"}});
//   std::string Dot = WriteDot(G);
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Sonorix::Cli {

struct TDotNode {
    std::string Name;
    std::string ClassName;
    // Only the properties that differ from their defaults, as name and text.
    std::vector<std::pair<std::string, std::string>> Properties;
    std::vector<std::string> InputPins;
    std::vector<std::string> OutputPins;
};

// Nodes are found by Name and pins by name in the node's pin lists; an edge
// whose pin is not listed is drawn to the node's box.
struct TDotEdge {
    std::string FromNode;
    std::string FromPin;
    std::string ToNode;
    std::string ToPin;
};

struct TDotGraph {
    std::vector<TDotNode> Nodes;
    std::vector<TDotEdge> Edges;
};

// Any text is allowed in names and values: it is escaped, never interpreted.
std::string WriteDot(const TDotGraph& AGraph);

} // namespace Sonorix::Cli
