// SPDX-License-Identifier: MIT
// Graphs of components that own their components, and their stored form.
//
// The stored form is the pipeline text of the sonorix tool written one
// element per line: a component with its class, name and the properties
// that differ from a fresh component's, then one line per pin link. `#`
// starts a comment that runs to the end of the line.
//
//   # tone through an amplifier
//   TSNSignalGen name=gen Frequency=440
//   TSNAmplifier name=amp Coefficient=0.5
//   gen.OutputPin ! amp.InputPin
//
// Reading honours legacy property names and removed properties; reading any
// pipeline text works too (primary pins, '!' chains, TSN prefix left out).
//
//   std::unique_ptr<TSNGraph> LGraph = ReadGraphFile("tone.snx");
//   LGraph->Start();             // starts every source whose inputs are free
//   ...
//   LGraph->Stop();
//   StoreGraph(*LGraph, std::cout);
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "SNTypes.h"

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

class TPNSourcePin;
class TPNSinkPin;
class TPNMethodSinkPin;

struct TSNGraphNode {
    std::string Name;
    TLockComponentPtr Component;
};

struct TSNGraphLink {
    TPNSourcePin* From;
    TPNSinkPin* To;
};

// A graph that could not be read or stored. File, Line and Column (1-based)
// tell where, when the problem lies in a text; Position is the byte offset.
// The message is one line: "tone.snx:3:14: <what>".
class ESNGraphError : public EDGException {
public:
    ESNGraphError(const std::string& AWhat, std::string AFile = {}, size_t APosition = 0, int ALine = 0,
                  int AColumn = 0);
    const std::string& What() const { return FWhat; }
    const std::string& File() const { return FFile; }
    size_t Position() const { return FPosition; }
    int Line() const { return FLine; }
    int Column() const { return FColumn; }

private:
    std::string FWhat;
    std::string FFile;
    size_t FPosition;
    int FLine;
    int FColumn;
};

// Components with unique names and the links between their pins. The graph
// owns its components; destroying it disconnects every link first.
// The most components a graph may hold: operations travel from component to
// component as nested calls, so a chain's length is bounded by the stack.
constexpr size_t CMaxGraphComponents = 10000;

// A property change due at At seconds of audio; Node indexes Nodes().
struct TSNTimedSetting {
    size_t Node;
    std::string Path;
    std::string Value;
    double At;
};

class TSNGraph {
public:
    TSNGraph() = default;
    TSNGraph(const TSNGraph&) = delete;
    TSNGraph& operator=(const TSNGraph&) = delete;
    ~TSNGraph();

    // Adds a component under AName (letters, digits and '_', unique
    // regardless of case); sets the component's name. Throws ESNGraphError.
    TSNGraphNode& Add(const std::string& AName, TLockComponentPtr AComponent);
    // Connects two pins of components of the graph; throws EPinConnectError
    // when the pins do not fit.
    void Connect(TPNSourcePin& AFrom, TPNSinkPin& ATo);

    const std::vector<TSNGraphNode>& Nodes() const { return FNodes; }
    const std::vector<TSNGraphLink>& Links() const { return FLinks; }
    // By name, case-insensitive; nullptr if none.
    TSNGraphNode* Find(std::string_view AName);
    // The node of a component of the graph; nullptr if it is not one.
    const TSNGraphNode* NodeOf(const TPersistent* AComponent) const;

    // Starts every stream source (generator, player) whose inputs are all
    // free; Stop stops every source. Main thread.
    void Start();
    void Stop();
    // True while a started source still runs.
    bool IsRunning() const;

    // A sink pin, owned by the graph, that calls ANode's published method
    // (such as a generator's FrequencyChangeEvent) with every value it gets.
    TPNSinkPin& AddMethodPin(TSNGraphNode& ANode, const TMethodInfo& AMethod);
    // A setting to apply at At seconds of audio ("Enabled@1.5=false"); the
    // graph keeps it, whoever runs the graph applies it on its timeline.
    void AddTimedSetting(TSNTimedSetting ASetting) { FTimedSettings.push_back(std::move(ASetting)); }
    const std::vector<TSNTimedSetting>& TimedSettings() const { return FTimedSettings; }

private:
    std::vector<TSNGraphNode> FNodes;
    // Names in lower case (names are case-insensitive) to indexes of FNodes.
    std::unordered_map<std::string, size_t> FIndex;
    std::vector<TSNGraphLink> FLinks;
    std::vector<TSNTimedSetting> FTimedSettings;
    std::vector<std::unique_ptr<TPNMethodSinkPin>> FMethodPins;
};

// Writes the canonical stored form: components in graph order, each with
// the properties whose value differs from a fresh component of its class
// (collections resized first, so their items are compared with the items
// such a count creates), then every link with both pins named.
void StoreGraph(const TSNGraph& AGraph, std::ostream& AOut);
std::string StoreGraphText(const TSNGraph& AGraph);

// Reads a graph; AFile names the text in messages. On any error nothing is
// left of the graph and ESNGraphError names file, line and column.
std::unique_ptr<TSNGraph> ReadGraphText(std::string_view AText, const std::string& AFile = "<text>");
std::unique_ptr<TSNGraph> ReadGraph(std::istream& AIn, const std::string& AFile = "<stream>");
std::unique_ptr<TSNGraph> ReadGraphFile(const std::string& APath);

SN_API_END
} // namespace Sonorix
