// SPDX-License-Identifier: MIT
// Builds a graph from parsed pipeline text: the one builder behind stored
// graphs and the sonorix tool's command line.
#pragma once

#include "SNExport.h"

#include "PipelineParser.h"
#include "SNStoredGraph.h"

#include <memory>

namespace Sonorix {
// Not installed, but exported: the package's own tool, module and probes
// call it across the library's edge.
SN_API_BEGIN

// Creates the components (every class is looked up before any is created),
// sets their properties, then connects the links. Throws ESNGraphError whose
// Position is the byte offset of the culprit in the parsed text; File, Line
// and Column are left for the caller to fill in.
std::unique_ptr<TSNGraph> BuildGraph(const Cli::TPipeline& APipeline);

SN_API_END
} // namespace Sonorix
