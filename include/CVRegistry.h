// SPDX-License-Identifier: MIT
// The component registry: lists the registered classes, creates components by
// class name, and reads and writes properties by path as text.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"

#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

class TPNPin;
class TPNPinList;

class TSNRegistry {
public:
    static TSNRegistry& Instance();

    // Registers classes; registering a class twice keeps one entry.
    void RegisterComponents(std::initializer_list<const TClassDescription*> AClasses);
    // Registers every class of the catalogue (SNCatalogue.h): those whose
    // code is loaded at once, those of a module by name, so that the first
    // Find of one loads its module. Calling it again registers rows added since.
    void RegisterCatalogue();
    // The registered class of that name ("TSNAmplifier"; the "TSN" prefix
    // may be left out: "Amplifier"), case-insensitive; nullptr if unknown.
    // A class of a module not yet loaded loads it (EModuleError when that fails).
    const TClassDescription* Find(std::string_view AClassName) const;
    // Registered classes in registration order (loads every module that the
    // catalogue names and that is not loaded yet).
    std::vector<const TClassDescription*> List() const;
    // Creates a component with its defaults applied; throws EPropertyError
    // "unknown component 'X'" when no class of that name is registered.
    TLockComponentPtr Create(std::string_view AClassName) const;

private:
    // A class by name; Class stays nullptr until Module is loaded.
    struct TEntry {
        std::string ClassName;
        const TClassDescription* Class = nullptr;
        std::string Module;
    };
    const TEntry* FindEntry(std::string_view AClassName) const;

    mutable std::mutex FMutex;
    std::vector<TEntry> FClasses;
};

// Registers classes with the process-wide registry.
void RegisterComponents(std::initializer_list<const TClassDescription*> AClasses);

// A property path names a published property, possibly through nested
// objects and collections: "Coefficient", "AudioFormat.SampleRate",
// "Channels.Count", "Channels[2].Frequency". Legacy names and removed
// properties are honoured at each step. Errors throw EPropertyError with a
// message naming the path and the class.
std::string GetPropertyText(TPersistent& AObject, std::string_view APath);
void SetPropertyText(TPersistent& AObject, std::string_view APath, std::string_view AValue);

// A pin by name ("OutputPin") or pin-list entry ("InputPins", 2); nullptr
// when there is no such pin.
TPNPin* FindPin(TPersistent& AObject, std::string_view AName, std::optional<int> AIndex = std::nullopt);
// The pin (or first pin of the pin list) that the description marks primary
// in that direction; nullptr if none.
TPNPin* FindPrimaryPin(TPersistent& AObject, bool ASource);
// Every pin of the object, pin lists expanded, in description order.
std::vector<TPNPin*> AllPins(TPersistent& AObject);

// Value properties whose current value differs from their default, as
// (path, value) pairs, nested objects and collection items included.
std::vector<std::pair<std::string, std::string>> ChangedProperties(TPersistent& AObject);

SN_API_END
} // namespace Sonorix
