// SPDX-License-Identifier: MIT
// Builds a graph from parsed pipeline text: the one builder behind stored
// graphs and the sonorix tool's command line.
#pragma once

#include "PipelineParser.h"
#include "SNStoredGraph.h"

#include <memory>

namespace Sonorix {

// Creates the components (every class is looked up before any is created),
// sets their properties, then connects the links. Throws ESNGraphError whose
// Position is the byte offset of the culprit in the parsed text; File, Line
// and Column are left for the caller to fill in.
std::unique_ptr<TSNGraph> BuildGraph(const Cli::TPipeline& APipeline);

} // namespace Sonorix
