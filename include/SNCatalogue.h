// SPDX-License-Identifier: MIT
// The catalogue of components: unit, class, palette page and display name of
// each, and where its class description comes from. Class descriptions take
// the first four from here, so a display name is written once; the registry
// registers the package's classes from here (RegisterCatalogue), and modules
// add rows of their own (SNModule.h).
#pragma once

#include "SNExport.h"

#include "CVPersistent.h"

#include <string_view>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

struct TCatalogueEntry {
    const char* Unit;
    const char* ClassName;
    TPaletteCategory Category;
    const char* DisplayName;
    // The class's description, when its code is loaded.
    const TClassDescription& (*Describe)() = nullptr;
    // Otherwise the file name of the module that holds the class, beside the
    // package library ("libSonorixLAV.so.0"): loaded on first use.
    const char* Module = nullptr;
};

// Every row, the package's own in catalogue order, then those that modules
// added, in the order they were added.
std::vector<TCatalogueEntry> Catalogue();

// The row of a class (exact name); throws EAssertionFailed for a class not
// in the catalogue.
TCatalogueEntry CatalogueEntry(std::string_view AClassName);

// Fills class name, unit, category and display name of a description from
// the catalogue.
void ApplyCatalogue(TClassDescription& AClass, std::string_view AClassName);

// Adds rows from outside the package. Each row names a new class (compared
// without regard to case) and has its Describe set, or fills the row that the
// package keeps for a class of its own module AModuleFile. Throws
// EAssertionFailed naming the first row that clashes, and then adds none.
void AddCatalogueEntries(const std::vector<TCatalogueEntry>& AEntries, std::string_view AModuleFile = {});
// Takes rows of AddCatalogueEntries out again (a module whose classes could
// not be described).
void RemoveCatalogueEntries(const std::vector<TCatalogueEntry>& AEntries);

SN_API_END
} // namespace Sonorix
