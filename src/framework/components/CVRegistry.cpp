// SPDX-License-Identifier: MIT
#include "CVRegistry.h"

#include "PNPins.h"
#include "SNCatalogue.h"
#include "SNModule.h"

#include <algorithm>
#include <charconv>
#include <strings.h>

namespace Sonorix {

namespace {

bool SameText(std::string_view A, std::string_view B)
{
    return A.size() == B.size() && strncasecmp(A.data(), B.data(), A.size()) == 0;
}

// One step of a property path: a name and an optional index.
struct TPathStep {
    std::string_view Name;
    std::optional<int> Index;
};

// Splits "Channels[2].Frequency" into steps; throws on malformed paths.
std::vector<TPathStep> SplitPath(std::string_view APath)
{
    std::vector<TPathStep> LSteps;
    size_t LPos = 0;
    while (true) {
        size_t LEnd = LPos;
        while (LEnd < APath.size() && APath[LEnd] != '.' && APath[LEnd] != '[')
            ++LEnd;
        TPathStep LStep{APath.substr(LPos, LEnd - LPos), std::nullopt};
        if (LStep.Name.empty())
            throw EPropertyError("malformed property path '" + std::string(APath) + "'");
        if (LEnd < APath.size() && APath[LEnd] == '[') {
            size_t LClose = APath.find(']', LEnd);
            if (LClose == std::string_view::npos)
                throw EPropertyError("malformed property path '" + std::string(APath) + "': missing ']'");
            int LIndex = -1;
            std::string_view LDigits = APath.substr(LEnd + 1, LClose - LEnd - 1);
            auto [LLast, LError] = std::from_chars(LDigits.data(), LDigits.data() + LDigits.size(), LIndex);
            if (LDigits.empty() || LError != std::errc() || LLast != LDigits.data() + LDigits.size() || LIndex < 0)
                throw EPropertyError("malformed index '" + std::string(LDigits) + "' in property path '" +
                                     std::string(APath) + "'");
            LStep.Index = LIndex;
            LEnd = LClose + 1;
        }
        LSteps.push_back(LStep);
        if (LEnd == APath.size())
            break;
        if (APath[LEnd] != '.')
            throw EPropertyError("malformed property path '" + std::string(APath) + "'");
        LPos = LEnd + 1;
    }
    return LSteps;
}

// What a path leads to: a value property of an object, or a collection's
// Count.
struct TResolved {
    TPersistent* Object = nullptr;
    const TPropertyInfo* Info = nullptr;
    TCollection* CountOf = nullptr;
};

TResolved Resolve(TPersistent& AObject, std::string_view APath, int ADepth = 0)
{
    if (ADepth > 8)
        throw EPropertyError("property path '" + std::string(APath) + "' is renamed in a loop");
    std::vector<TPathStep> LSteps = SplitPath(APath);
    TPersistent* LObject = &AObject;
    for (size_t I = 0; I < LSteps.size(); ++I) {
        const TPathStep& LStep = LSteps[I];
        const bool LLast = I + 1 == LSteps.size();
        const TClassDescription& LClass = LObject->GetClassDescription();
        const TPropertyInfo* LInfo = LClass.FindProperty(LStep.Name);
        if (!LInfo) {
            if (const TRemovedProperty* LRemoved = LClass.FindRemovedProperty(LStep.Name)) {
                // Read the rest of the path from the property's new place.
                std::string LNewPath = LRemoved->NewPath;
                for (size_t J = I + 1; J < LSteps.size(); ++J)
                    LNewPath += "." + std::string(LSteps[J].Name) +
                                (LSteps[J].Index ? "[" + std::to_string(*LSteps[J].Index) + "]" : "");
                return Resolve(*LObject, LNewPath, ADepth + 1);
            }
            throw EPropertyError(LObject->GetDisplayPath() + " (" + LClass.ClassName + ") has no property '" +
                                 std::string(LStep.Name) + "'");
        }
        const std::string LWhere = "property '" + std::string(APath) + "' of " + AObject.GetDisplayPath();
        switch (LInfo->Kind) {
        case TPropertyKind::pkObject:
            if (LStep.Index)
                throw EPropertyError(LWhere + ": " + LInfo->Name + " takes no index");
            if (LLast)
                throw EPropertyError(LWhere + ": " + LInfo->Name + " is an object; name one of its members (" +
                                     LInfo->Name + ".X)");
            LObject = LInfo->GetObject(*LObject);
            break;
        case TPropertyKind::pkCollection: {
            TCollection* LCollection = LInfo->GetCollection(*LObject);
            if (!LStep.Index) {
                if (I + 2 == LSteps.size() && SameText(LSteps[I + 1].Name, "Count") && !LSteps[I + 1].Index)
                    return {nullptr, nullptr, LCollection};
                throw EPropertyError(LWhere + ": " + LInfo->Name + " is a collection; use " + LInfo->Name +
                                     ".Count or " + LInfo->Name + "[i].X");
            }
            if (*LStep.Index >= LCollection->GetCount())
                throw EPropertyError(LWhere + ": index " + std::to_string(*LStep.Index) + " is beyond " +
                                     LInfo->Name + ".Count (" + std::to_string(LCollection->GetCount()) + ")");
            if (LLast)
                throw EPropertyError(LWhere + ": " + LInfo->Name + "[" + std::to_string(*LStep.Index) +
                                     "] is an item; name one of its members");
            LObject = LCollection->GetItem(*LStep.Index);
            break;
        }
        case TPropertyKind::pkPin:
        case TPropertyKind::pkPinList:
            throw EPropertyError(LWhere + ": " + LInfo->Name + " is a pin, not a value");
        default:
            if (LStep.Index)
                throw EPropertyError(LWhere + ": " + LInfo->Name + " takes no index");
            if (!LLast)
                throw EPropertyError(LWhere + ": " + LInfo->Name + " has no members");
            return {LObject, LInfo, nullptr};
        }
    }
    throw EPropertyError("empty property path");
}

void CollectChanged(TPersistent& AObject, const std::string& APrefix,
                    std::vector<std::pair<std::string, std::string>>& AResult)
{
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        if (LInfo->IsValue()) {
            if (!LInfo->GetText || LInfo->ReadOnly || !LInfo->DefaultText)
                continue;
            std::string LValue = LInfo->GetText(AObject);
            if (LValue != *LInfo->DefaultText)
                AResult.emplace_back(APrefix + LInfo->Name, LValue);
        } else if (LInfo->Kind == TPropertyKind::pkObject) {
            CollectChanged(*LInfo->GetObject(AObject), APrefix + LInfo->Name + ".", AResult);
        } else if (LInfo->Kind == TPropertyKind::pkCollection) {
            TCollection* LCollection = LInfo->GetCollection(AObject);
            AResult.emplace_back(APrefix + LInfo->Name + ".Count", std::to_string(LCollection->GetCount()));
            for (int I = 0; I < LCollection->GetCount(); ++I)
                CollectChanged(*LCollection->GetItem(I), APrefix + LInfo->Name + "[" + std::to_string(I) + "].",
                               AResult);
        }
    }
}

} // namespace

TSNRegistry& TSNRegistry::Instance()
{
    static TSNRegistry LRegistry;
    return LRegistry;
}

void TSNRegistry::RegisterComponents(std::initializer_list<const TClassDescription*> AClasses)
{
    std::lock_guard LGuard(FMutex);
    for (const TClassDescription* LClass : AClasses) {
        SNAssert(LClass && LClass->Factory, "a registered class needs a factory");
        auto LAt = std::find_if(FClasses.begin(), FClasses.end(),
                                [&](const TEntry& AEntry) { return AEntry.ClassName == LClass->ClassName; });
        if (LAt == FClasses.end())
            FClasses.push_back({LClass->ClassName, LClass, {}});
        else if (!LAt->Class)
            LAt->Class = LClass; // its module is loaded
    }
}

void TSNRegistry::RegisterCatalogue()
{
    // A class of the package is registered by name and described at its
    // first Find (building its property table is most of a description's
    // cost), so that a process pays only for the classes it uses.
    for (const TCatalogueEntry& LEntry : Catalogue()) {
        if (!LEntry.Describe && !LEntry.Module)
            continue;
        std::lock_guard LGuard(FMutex);
        if (std::none_of(FClasses.begin(), FClasses.end(),
                         [&](const TEntry& AEntry) { return AEntry.ClassName == LEntry.ClassName; }))
            FClasses.push_back({LEntry.ClassName, nullptr, LEntry.Describe ? std::string() : LEntry.Module});
    }
}

const TSNRegistry::TEntry* TSNRegistry::FindEntry(std::string_view AClassName) const
{
    for (const TEntry& LEntry : FClasses)
        if (SameText(LEntry.ClassName, AClassName))
            return &LEntry;
    for (const TEntry& LEntry : FClasses)
        if (LEntry.ClassName.size() > 3 && SameText(std::string_view(LEntry.ClassName).substr(3), AClassName))
            return &LEntry;
    return nullptr;
}

const TClassDescription* TSNRegistry::Find(std::string_view AClassName) const
{
    std::string LModule, LName;
    {
        std::lock_guard LGuard(FMutex);
        const TEntry* LEntry = FindEntry(AClassName);
        if (!LEntry || LEntry->Class)
            return LEntry ? LEntry->Class : nullptr;
        LModule = LEntry->Module;
        LName = LEntry->ClassName;
    }
    // Not under the lock: a description may look classes up, and a module
    // registers its classes here. A class without a module is the package's
    // own, described from its catalogue row.
    if (LModule.empty()) {
        const TCatalogueEntry LRow = CatalogueEntry(LName);
        SNAssert(LRow.Describe != nullptr, "a catalogue row without a module needs its description");
        TSNRegistry::Instance().RegisterComponents({&LRow.Describe()});
    } else {
        LoadModule(PackageModulePath(LModule));
    }
    std::lock_guard LGuard(FMutex);
    const TEntry* LEntry = FindEntry(LName);
    if (!LEntry || !LEntry->Class)
        throw EModuleError("module '" + LModule + "' does not register '" + LName + "'");
    return LEntry->Class;
}

std::vector<const TClassDescription*> TSNRegistry::List() const
{
    std::vector<std::string> LPending;
    {
        std::lock_guard LGuard(FMutex);
        for (const TEntry& LEntry : FClasses)
            if (!LEntry.Class)
                LPending.push_back(LEntry.ClassName);
    }
    for (const std::string& LName : LPending)
        Find(LName);
    std::lock_guard LGuard(FMutex);
    std::vector<const TClassDescription*> LClasses;
    for (const TEntry& LEntry : FClasses)
        if (LEntry.Class)
            LClasses.push_back(LEntry.Class);
    return LClasses;
}

TLockComponentPtr TSNRegistry::Create(std::string_view AClassName) const
{
    const TClassDescription* LClass = Find(AClassName);
    if (!LClass)
        throw EPropertyError("unknown component '" + std::string(AClassName) + "'");
    return LClass->Factory();
}

void RegisterComponents(std::initializer_list<const TClassDescription*> AClasses)
{
    TSNRegistry::Instance().RegisterComponents(AClasses);
}

std::string GetPropertyText(TPersistent& AObject, std::string_view APath)
{
    TResolved LResolved = Resolve(AObject, APath);
    if (LResolved.CountOf)
        return std::to_string(LResolved.CountOf->GetCount());
    return LResolved.Info->GetText(*LResolved.Object);
}

void SetPropertyText(TPersistent& AObject, std::string_view APath, std::string_view AValue)
{
    TResolved LResolved = Resolve(AObject, APath);
    const std::string LWhere = "property '" + std::string(APath) + "' of " + AObject.GetDisplayPath();
    try {
        if (LResolved.CountOf) {
            int64_t LCount = ParseInteger(AValue);
            if (LCount < 0 || LCount > 1024)
                throw EPropertyError("a count must lie within 0 .. 1024, not " + std::to_string(LCount));
            LResolved.CountOf->SetCount(static_cast<int>(LCount));
            return;
        }
        if (LResolved.Info->ReadOnly || !LResolved.Info->SetText)
            throw EPropertyError("it is read-only");
        LResolved.Info->SetText(*LResolved.Object, AValue);
    } catch (const EPropertyError& E) {
        throw EPropertyError(LWhere + ": " + E.what());
    }
}

TPNPin* FindPin(TPersistent& AObject, std::string_view AName, std::optional<int> AIndex)
{
    const TPropertyInfo* LInfo = AObject.GetClassDescription().FindProperty(AName);
    if (!LInfo)
        return nullptr;
    if (LInfo->Kind == TPropertyKind::pkPin)
        return AIndex ? nullptr : LInfo->GetPin(AObject);
    if (LInfo->Kind == TPropertyKind::pkPinList)
        return AIndex ? LInfo->GetPinList(AObject)->GetPin(*AIndex) : nullptr;
    return nullptr;
}

TPNPin* FindPrimaryPin(TPersistent& AObject, bool ASource)
{
    const TPNPinDirection LWanted = ASource ? TPNPinDirection::pdSource : TPNPinDirection::pdSink;
    TPNPin* LOnly = nullptr;
    int LCount = 0;
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        if (LInfo->Kind == TPropertyKind::pkPin) {
            TPNPin* LPin = LInfo->GetPin(AObject);
            if (LPin->GetDirection() != LWanted)
                continue;
            if (LInfo->Primary)
                return LPin;
            LOnly = LPin;
            ++LCount;
        } else if (LInfo->Kind == TPropertyKind::pkPinList) {
            TPNPinList* LList = LInfo->GetPinList(AObject);
            if (LList->GetDirection() != LWanted)
                continue;
            if (LInfo->Primary)
                return LList->GetPin(0);
            LCount += 2; // a list is never taken as the only pin
        }
    }
    return LCount == 1 ? LOnly : nullptr;
}

std::vector<TPNPin*> AllPins(TPersistent& AObject)
{
    std::vector<TPNPin*> LPins;
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        if (LInfo->Kind == TPropertyKind::pkPin) {
            LPins.push_back(LInfo->GetPin(AObject));
        } else if (LInfo->Kind == TPropertyKind::pkPinList) {
            TPNPinList* LList = LInfo->GetPinList(AObject);
            for (int I = 0; I < LList->GetCount(); ++I)
                LPins.push_back(LList->GetPin(I));
        }
    }
    return LPins;
}

std::vector<std::pair<std::string, std::string>> ChangedProperties(TPersistent& AObject)
{
    std::vector<std::pair<std::string, std::string>> LResult;
    CollectChanged(AObject, "", LResult);
    return LResult;
}

} // namespace Sonorix
