// SPDX-License-Identifier: MIT
// Component modules: shared libraries that add components to the catalogue
// and the registry at run time. A module exports one C function,
//
//   extern "C" int SonorixRegisterModule(int AHostApiVersion, Sonorix::TSNModuleRegistrar* ARegistrar)
//   {
//       if (AHostApiVersion != Sonorix::CSonorixModuleApiVersion)
//           return Sonorix::CSonorixModuleApiVersion;           // refused: nothing added
//       ARegistrar->AddClass({"SNExampleGain", "TSNExampleGain", Sonorix::TPaletteCategory::pcFilters,
//                             "Example Gain in Decibels", &TSNExampleGain::ClassDescription});
//       return Sonorix::CSonorixModuleApiVersion;
//   }
//
// and is loaded with LoadModule (the tool: `sonorix --load FILE`, or every
// module in the folders of SONORIX_MODULE_PATH). examples/gain-module is one.
#pragma once

#include "SNExport.h"

#include "SNCatalogue.h"
#include "SNTypes.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// The interface between a module and the package; a module built for another
// version is refused.
inline constexpr int CSonorixModuleApiVersion = 1;
inline constexpr const char* CSonorixModuleEntryPoint = "SonorixRegisterModule";

// What the entry point receives.
class TSNModuleRegistrar {
public:
    virtual ~TSNModuleRegistrar() = default;
    // One class of the module: its catalogue row with Describe set. The
    // class description takes its names from the row (ApplyCatalogue).
    virtual void AddClass(const TCatalogueEntry& AEntry) = 0;
};

using TSonorixRegisterModule = int (*)(int AHostApiVersion, TSNModuleRegistrar* ARegistrar);

// A module that cannot be loaded: missing, not a shared library, without the
// entry point, built for another interface version, or naming a class that
// exists. The message is one line naming the file.
class EModuleError : public EDGException {
public:
    using EDGException::EDGException;
};

// Loads the module at APath (a name without '/' is taken in the current
// folder): its classes join the catalogue and the registry, all or none.
// Loading a module that is loaded (under any name) does nothing.
void LoadModule(const std::string& APath);
// Loads every "*.so" file, in name order, of each folder of a colon-separated
// list (SONORIX_MODULE_PATH); empty entries and missing folders are skipped.
void LoadModulesFrom(std::string_view AFolders);
// The files of the loaded modules, in load order.
std::vector<std::string> LoadedModules();
// AFileName in the folder of the package library (where the package's own
// modules are installed).
std::string PackageModulePath(const std::string& AFileName);

// Owns a dlopen handle.
struct TSNLibraryClose {
    void operator()(void* AHandle) const;
};
using TSNLibraryHandle = std::unique_ptr<void, TSNLibraryClose>;

SN_API_END
} // namespace Sonorix
