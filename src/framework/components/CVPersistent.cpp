// SPDX-License-Identifier: MIT
#include "CVPersistent.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <strings.h>

namespace Sonorix {

namespace {

struct TCategoryNames {
    const char* Name;
    const char* ClassName;
};

constexpr std::array<TCategoryNames, 12> CCategories{{
    {"None", ""},
    {"Players", "TSonorixPlayersToolbarCategory"},
    {"Loggers", "TSonorixLoggersToolbarCategory"},
    {"Filters", "TSonorixFiltersToolbarCategory"},
    {"Mixers", "TSonorixMixersToolbarCategory"},
    {"Splitters", "TSonorixSplittersToolbarCategory"},
    {"Generators", "TSonorixGeneratorsToolbarCategory"},
    {"Measurement", "TSonorixMeasurementToolbarCategory"},
    {"Converters", "TSonorixConvertersToolbarCategory"},
    {"Analysis", "TSonorixAnalysisToolbarCategory"},
    {"Compressors", "TSonorixCompressorsToolbarCategory"},
    {"Decompressors", "TSonorixDecompressorsToolbarCategory"},
}};

bool SameText(std::string_view A, std::string_view B)
{
    return A.size() == B.size() && strncasecmp(A.data(), B.data(), A.size()) == 0;
}

std::string_view Trim(std::string_view AText)
{
    while (!AText.empty() && std::isspace(static_cast<unsigned char>(AText.front())))
        AText.remove_prefix(1);
    while (!AText.empty() && std::isspace(static_cast<unsigned char>(AText.back())))
        AText.remove_suffix(1);
    return AText;
}

} // namespace

const char* CategoryName(TPaletteCategory ACategory)
{
    return CCategories[static_cast<size_t>(ACategory)].Name;
}

const char* CategoryClassName(TPaletteCategory ACategory)
{
    return CCategories[static_cast<size_t>(ACategory)].ClassName;
}

const char* PropertyKindName(TPropertyKind AKind)
{
    switch (AKind) {
    case TPropertyKind::pkInteger: return "integer";
    case TPropertyKind::pkReal: return "real";
    case TPropertyKind::pkSingle: return "single";
    case TPropertyKind::pkBoolean: return "Boolean";
    case TPropertyKind::pkEnum: return "enumeration";
    case TPropertyKind::pkString: return "string";
    case TPropertyKind::pkObject: return "object";
    case TPropertyKind::pkCollection: return "collection";
    case TPropertyKind::pkPin: return "pin";
    case TPropertyKind::pkPinList: return "pin list";
    }
    return "unknown";
}

bool TPropertyInfo::HasName(std::string_view AName) const
{
    if (SameText(Name, AName))
        return true;
    return std::any_of(OldNames.begin(), OldNames.end(), [&](const std::string& AOld) { return SameText(AOld, AName); });
}

std::vector<const TPropertyInfo*> TClassDescription::AllProperties() const
{
    std::vector<const TPropertyInfo*> LResult;
    if (Parent)
        LResult = Parent->AllProperties();
    for (const TPropertyInfo& LInfo : Properties) {
        // A descendant's row replaces an inherited row of the same name.
        auto LSame = std::find_if(LResult.begin(), LResult.end(),
                                  [&](const TPropertyInfo* AInfo) { return SameText(AInfo->Name, LInfo.Name); });
        if (LSame != LResult.end())
            *LSame = &LInfo;
        else
            LResult.push_back(&LInfo);
    }
    return LResult;
}

std::vector<const TEventInfo*> TClassDescription::AllEvents() const
{
    std::vector<const TEventInfo*> LResult;
    if (Parent)
        LResult = Parent->AllEvents();
    for (const TEventInfo& LInfo : Events)
        LResult.push_back(&LInfo);
    return LResult;
}

const TMethodInfo* TClassDescription::FindMethod(std::string_view AName) const
{
    for (const TClassDescription* LClass = this; LClass; LClass = LClass->Parent)
        for (const TMethodInfo& LInfo : LClass->Methods)
            if (SameText(LInfo.Name, AName))
                return &LInfo;
    return nullptr;
}

const TPropertyInfo* TClassDescription::FindProperty(std::string_view AName) const
{
    // Current names win over legacy names, and own rows over inherited ones.
    for (const TClassDescription* LClass = this; LClass; LClass = LClass->Parent)
        for (const TPropertyInfo& LInfo : LClass->Properties)
            if (SameText(LInfo.Name, AName))
                return &LInfo;
    for (const TClassDescription* LClass = this; LClass; LClass = LClass->Parent)
        for (const TPropertyInfo& LInfo : LClass->Properties)
            if (LInfo.HasName(AName))
                return &LInfo;
    return nullptr;
}

const TRemovedProperty* TClassDescription::FindRemovedProperty(std::string_view AName) const
{
    for (const TClassDescription* LClass = this; LClass; LClass = LClass->Parent)
        for (const TRemovedProperty& LRemoved : LClass->RemovedProperties)
            if (SameText(LRemoved.OldName, AName))
                return &LRemoved;
    return nullptr;
}

bool TClassDescription::InheritsFrom(std::string_view AClassName) const
{
    for (const TClassDescription* LClass = this; LClass; LClass = LClass->Parent)
        if (SameText(LClass->ClassName, AClassName))
            return true;
    return false;
}

// --- Text conversion ---------------------------------------------------------

double ParseReal(std::string_view AText)
{
    std::string_view LText = Trim(AText);
    if (!LText.empty() && LText.front() == '+')
        LText.remove_prefix(1);
    double LValue = 0;
    auto [LEnd, LError] = std::from_chars(LText.data(), LText.data() + LText.size(), LValue);
    if (LText.empty() || LError != std::errc() || LEnd != LText.data() + LText.size() || !std::isfinite(LValue))
        throw EPropertyError("'" + std::string(AText) + "' is not a real number");
    return LValue;
}

int64_t ParseInteger(std::string_view AText)
{
    std::string_view LText = Trim(AText);
    bool LNegative = false;
    if (!LText.empty() && (LText.front() == '+' || LText.front() == '-')) {
        LNegative = LText.front() == '-';
        LText.remove_prefix(1);
    }
    int LBase = 10;
    if (LText.size() > 2 && LText[0] == '0' && (LText[1] == 'x' || LText[1] == 'X')) {
        LBase = 16;
        LText.remove_prefix(2);
    }
    uint64_t LMagnitude = 0;
    auto [LEnd, LError] = std::from_chars(LText.data(), LText.data() + LText.size(), LMagnitude, LBase);
    if (LText.empty() || LEnd != LText.data() + LText.size() ||
        (LError != std::errc() && LError != std::errc::result_out_of_range))
        throw EPropertyError("'" + std::string(AText) + "' is not an integer");
    constexpr uint64_t LLimit = static_cast<uint64_t>(INT64_MAX);
    if (LError == std::errc::result_out_of_range || LMagnitude > LLimit + (LNegative ? 1 : 0))
        throw EPropertyError("'" + std::string(AText) + "' is out of the integer range");
    return LNegative ? static_cast<int64_t>(0 - LMagnitude) : static_cast<int64_t>(LMagnitude);
}

bool ParseBoolean(std::string_view AText)
{
    std::string_view LText = Trim(AText);
    if (SameText(LText, "true") || LText == "1")
        return true;
    if (SameText(LText, "false") || LText == "0")
        return false;
    throw EPropertyError("'" + std::string(AText) + "' is not a Boolean (true or false)");
}

int ParseEnum(const TEnumInfo& AInfo, std::string_view AText)
{
    std::string_view LText = Trim(AText);
    for (size_t I = 0; I < AInfo.Names.size(); ++I)
        if (SameText(AInfo.Names[I], LText))
            return static_cast<int>(I);
    std::string LNames;
    for (const char* LName : AInfo.Names)
        LNames += (LNames.empty() ? "" : ", ") + std::string(LName);
    throw EPropertyError("'" + std::string(AText) + "' is not a value of " + AInfo.TypeName + " (" + LNames + ")");
}

std::string FormatReal(double AValue)
{
    char LBuffer[64];
    auto [LEnd, LError] = std::to_chars(LBuffer, LBuffer + sizeof(LBuffer), AValue);
    return std::string(LBuffer, LError == std::errc() ? LEnd : LBuffer);
}

std::string FormatEnum(const TEnumInfo& AInfo, int AOrdinal)
{
    if (AOrdinal >= 0 && static_cast<size_t>(AOrdinal) < AInfo.Names.size())
        return AInfo.Names[static_cast<size_t>(AOrdinal)];
    return std::to_string(AOrdinal);
}

} // namespace Sonorix
