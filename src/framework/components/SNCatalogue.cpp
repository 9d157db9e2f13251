// SPDX-License-Identifier: MIT
#include "SNCatalogue.h"

#include "SNCatalogueRows.h"
#include "SNTypes.h"

#include <algorithm>
#include <mutex>
#include <strings.h>

namespace Sonorix {

namespace {

// The package's rows, then the rows that modules added.
struct TRows {
    std::mutex Mutex;
    std::vector<TCatalogueEntry> Rows;

    static TRows& Instance()
    {
        static TRows LRows;
        return LRows;
    }

    TCatalogueEntry* Find(std::string_view AClassName)
    {
        for (TCatalogueEntry& LEntry : Rows)
            if (AClassName.size() == std::strlen(LEntry.ClassName) &&
                strncasecmp(AClassName.data(), LEntry.ClassName, AClassName.size()) == 0)
                return &LEntry;
        return nullptr;
    }
};

} // namespace

void InstallPackageCatalogue(std::span<const TCatalogueEntry> ARows)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    LRows.Rows.insert(LRows.Rows.begin(), ARows.begin(), ARows.end());
}

std::vector<TCatalogueEntry> Catalogue()
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    return LRows.Rows;
}

TCatalogueEntry CatalogueEntry(std::string_view AClassName)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    const TCatalogueEntry* LEntry = LRows.Find(AClassName);
    if (!LEntry || AClassName != LEntry->ClassName)
        throw EAssertionFailed("'" + std::string(AClassName) + "' is not in the component catalogue");
    return *LEntry;
}

void ApplyCatalogue(TClassDescription& AClass, std::string_view AClassName)
{
    const TCatalogueEntry LEntry = CatalogueEntry(AClassName);
    AClass.ClassName = LEntry.ClassName;
    AClass.Unit = LEntry.Unit;
    AClass.Category = LEntry.Category;
    AClass.DisplayName = LEntry.DisplayName;
}

void AddCatalogueEntries(const std::vector<TCatalogueEntry>& AEntries, std::string_view AModuleFile)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    for (size_t I = 0; I < AEntries.size(); ++I) {
        const TCatalogueEntry& LEntry = AEntries[I];
        SNAssert(LEntry.Unit && LEntry.ClassName && LEntry.DisplayName && LEntry.Describe,
                 "a catalogue row needs a unit, a class name, a display name and its description");
        const std::string LName = LEntry.ClassName;
        if (LName.empty())
            throw EAssertionFailed("a catalogue row needs a class name");
        const TCatalogueEntry* LKnown = LRows.Find(LName);
        const bool LReserved = LKnown && !LKnown->Describe && LKnown->Module && AModuleFile == LKnown->Module &&
                               LName == LKnown->ClassName;
        if (LKnown && !LReserved)
            throw EAssertionFailed("class '" + LName + "' is already in the component catalogue");
        for (size_t J = 0; J < I; ++J)
            if (strcasecmp(AEntries[J].ClassName, LEntry.ClassName) == 0)
                throw EAssertionFailed("class '" + LName + "' is named twice");
    }
    for (const TCatalogueEntry& LEntry : AEntries) {
        if (TCatalogueEntry* LReserved = LRows.Find(LEntry.ClassName))
            LReserved->Describe = LEntry.Describe;
        else
            LRows.Rows.push_back(LEntry);
    }
}

void RemoveCatalogueEntries(const std::vector<TCatalogueEntry>& AEntries)
{
    TRows& LRows = TRows::Instance();
    std::lock_guard LGuard(LRows.Mutex);
    for (const TCatalogueEntry& LEntry : AEntries) {
        TCatalogueEntry* LKnown = LRows.Find(LEntry.ClassName);
        if (!LKnown)
            continue;
        if (LKnown->Module)
            LKnown->Describe = nullptr; // a reserved row stays reserved
        else
            LRows.Rows.erase(LRows.Rows.begin() + (LKnown - LRows.Rows.data()));
    }
}

} // namespace Sonorix
