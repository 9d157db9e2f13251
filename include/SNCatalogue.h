// SPDX-License-Identifier: MIT
// The catalogue of the package's components: unit, class, palette page and
// display name of each. Class descriptions take these three from here, so a
// display name is written once.
#pragma once

#include "CVPersistent.h"

#include <span>
#include <string_view>

namespace Sonorix {

struct TCatalogueEntry {
    const char* Unit;
    const char* ClassName;
    TPaletteCategory Category;
    const char* DisplayName;
};

// All components of the package, registered or not yet, in catalogue order.
std::span<const TCatalogueEntry> Catalogue();

// The entry of a class; throws EAssertionFailed for a class not in it.
const TCatalogueEntry& CatalogueEntry(std::string_view AClassName);

// Fills class name, unit, category and display name of a description from
// the catalogue.
void ApplyCatalogue(TClassDescription& AClass, std::string_view AClassName);

} // namespace Sonorix
