// SPDX-License-Identifier: MIT
// How the package's own rows reach the catalogue: the framework keeps the
// rows, the package library (src/package), which knows every component, hands
// them over once when it loads.
#pragma once

#include "SNCatalogue.h"

#include <span>

namespace Sonorix {

// Puts ARows before any row a module added.
void InstallPackageCatalogue(std::span<const TCatalogueEntry> ARows);

} // namespace Sonorix
