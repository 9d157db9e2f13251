// SPDX-License-Identifier: MIT
// Published properties and class descriptions.
//
// Every component, nested settings object and collection item describes its
// published properties once, in a static TClassDescription. A property's
// default, bounds, design range and legacy name live in one constant (a
// T...Spec) that the field initialiser, the setter's clamp and the
// description all read. The registry, the command-line tool and stored forms
// go through the description to read and write properties as text.
#pragma once

#include "SNExport.h"

#include "SNTypes.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

class TPersistent;
class TPNPin;
class TPNPinList;
class TLockComponent;
class TCollection;

// Palette pages of the designer.
enum class TPaletteCategory {
    pcNone,
    pcPlayers,
    pcLoggers,
    pcFilters,
    pcMixers,
    pcSplitters,
    pcGenerators,
    pcMeasurement,
    pcConverters,
    pcAnalysis,
    pcCompressors,
    pcDecompressors,
};

// "Filters", "Generators", ...
const char* CategoryName(TPaletteCategory ACategory);
// The category class of the palette ("TSonorixFiltersToolbarCategory").
const char* CategoryClassName(TPaletteCategory ACategory);

// The value names of an enumeration, in ordinal order.
struct TEnumInfo {
    const char* TypeName;
    std::span<const char* const> Names;
};

// --- Property constants -----------------------------------------------------

struct TRealSpec {
    const char* Name;
    double Default = 0.0;
    std::optional<double> Min{};
    std::optional<double> Max{};
    std::optional<double> DesignMin{};
    std::optional<double> DesignMax{};
    const char* OldName = nullptr;
};

// Single-precision property (stored as float).
struct TSingleSpec {
    const char* Name;
    float Default = 0.0f;
    std::optional<float> Min{};
    std::optional<float> Max{};
    std::optional<double> DesignMin{};
    std::optional<double> DesignMax{};
    const char* OldName = nullptr;
};

struct TIntSpec {
    const char* Name;
    int64_t Default = 0;
    std::optional<int64_t> Min{};
    std::optional<int64_t> Max{};
    std::optional<double> DesignMin{};
    std::optional<double> DesignMax{};
    const char* OldName = nullptr;
    const char* TypeName = "int32";
};

struct TBoolSpec {
    const char* Name;
    bool Default = false;
    const char* OldName = nullptr;
};

template <class E>
struct TEnumSpec {
    const char* Name;
    E Default;
    const TEnumInfo* Info;
    const char* OldName = nullptr;
};

struct TStringSpec {
    const char* Name;
    const char* Default = "";
    const char* OldName = nullptr;
    // File-dialog filter and default extension of a file-name property.
    const char* FileFilter = nullptr;
    const char* FileExtension = nullptr;
    // Caption of the designer menu entry that edits the property.
    const char* EditorEntry = nullptr;
};

// --- Descriptions -----------------------------------------------------------

enum class TPropertyKind {
    pkInteger,
    pkReal,
    pkSingle,
    pkBoolean,
    pkEnum,
    pkString,
    pkObject,
    pkCollection,
    pkPin,
    pkPinList,
};

const char* PropertyKindName(TPropertyKind AKind);

// How the object behind a property is owned: created by the runtime at
// construction (a nested settings object, a collection) or by the component
// itself (pins, format objects); either way it dies with the component.
enum class TFieldOwnership { foNone, foAutoManage, foAutoDestroy };

struct TPropertyInfo {
    std::string Name;
    TPropertyKind Kind = TPropertyKind::pkInteger;
    std::string TypeName;
    // The default as text; empty optional when the property has none
    // (objects, pins) or is read-only state.
    std::optional<std::string> DefaultText;
    std::optional<double> Min, Max;
    std::optional<double> DesignMin, DesignMax;
    std::vector<std::string> OldNames;
    const TEnumInfo* Enum = nullptr;
    std::string EditorEntry;
    std::string FileFilter, FileExtension;
    bool ReadOnly = false;
    // False for a value that only views others (an item's "Active" mirrors
    // its owner's index): stored forms write those others, never this one.
    bool Stored = true;
    TFieldOwnership Ownership = TFieldOwnership::foNone;
    // Pins and pin lists.
    bool Primary = false;
    std::string PinClass;
    std::string ResizeProperty;
    std::string DefaultAssociation;

    // Accessors; which are set depends on Kind.
    std::function<std::string(TPersistent&)> GetText;
    std::function<void(TPersistent&, std::string_view)> SetText;
    std::function<TPersistent*(TPersistent&)> GetObject;
    std::function<TCollection*(TPersistent&)> GetCollection;
    std::function<TPNPin*(TPersistent&)> GetPin;
    std::function<TPNPinList*(TPersistent&)> GetPinList;

    bool IsValue() const { return Kind <= TPropertyKind::pkString; }
    bool HasName(std::string_view AName) const;

    // Chainable designer attributes.
    TPropertyInfo& AsPrimary() { Primary = true; return *this; }
    TPropertyInfo& WithPinClass(std::string AClass) { PinClass = std::move(AClass); return *this; }
    TPropertyInfo& ResizedBy(std::string AProperty) { ResizeProperty = std::move(AProperty); return *this; }
    TPropertyInfo& WithEditorEntry(std::string ACaption) { EditorEntry = std::move(ACaption); return *this; }
    TPropertyInfo& WithOldName(std::string AName) { OldNames.push_back(std::move(AName)); return *this; }
    TPropertyInfo& AssociatedWith(std::string AClass) { DefaultAssociation = std::move(AClass); return *this; }
};

// A field of an event, as handed to a generic event listener.
struct TEventField {
    std::string Name;
    std::variant<int64_t, double, bool, std::string, std::vector<double>> Value;
};

// A generic listener: the command-line tool prints every event through one.
using TGenericEventHandler =
    std::function<void(TPersistent& ASender, std::string_view AEvent, const std::vector<TEventField>& AFields)>;

struct TEventInfo {
    std::string Name;
    // Installs AHandler as the event's handler on the object.
    std::function<void(TPersistent&, TGenericEventHandler)> Bind;
};

// A published method that a value pin can call (a generator's
// FrequencyChangeEvent): sender pin, value, and whether the call comes from
// the connection itself rather than an arriving value.
using TPublishedMethod = std::function<void(TPNPin& ASender, float AValue, bool AOnConnect)>;
struct TMethodInfo {
    std::string Name;
    // The object's method as a callable.
    std::function<TPublishedMethod(TPersistent&)> Bind;
};

// A property that older stored forms carry under another name or path.
struct TRemovedProperty {
    std::string TypeName;
    std::string OldName;
    std::string NewPath;
};

struct TClassDescription {
    std::string ClassName;
    std::string Unit;
    TPaletteCategory Category = TPaletteCategory::pcNone;
    std::string DisplayName;
    const TClassDescription* Parent = nullptr;
    std::vector<TPropertyInfo> Properties;
    std::vector<TEventInfo> Events;
    std::vector<TMethodInfo> Methods;
    std::vector<TRemovedProperty> RemovedProperties;
    bool AutoInitPropertyFields = false;
    bool ComponentEditorEntries = false;
    // Set for classes that the registry can create.
    std::function<std::shared_ptr<TLockComponent>()> Factory;

    // Own and inherited properties, the base class's first.
    std::vector<const TPropertyInfo*> AllProperties() const;
    std::vector<const TEventInfo*> AllEvents() const;
    // Own and inherited published methods by name (case-insensitive).
    const TMethodInfo* FindMethod(std::string_view AName) const;
    // By name or legacy name (case-insensitive); nullptr if unknown.
    const TPropertyInfo* FindProperty(std::string_view AName) const;
    const TRemovedProperty* FindRemovedProperty(std::string_view AName) const;
    bool InheritsFrom(std::string_view AClassName) const;
};

// Root of everything that has published properties.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const TClassDescription& GetClassDescription() const = 0;
    // The name used in messages ("mix", "TSNAmplifier1", "Channels[2]").
    virtual std::string GetDisplayPath() const { return GetClassDescription().ClassName; }
};

// An owned, ordered list of items with published properties.
class TCollection {
public:
    virtual ~TCollection() = default;
    virtual int GetCount() const = 0;
    virtual void SetCount(int ACount) = 0;
    virtual TPersistent* GetItem(int AIndex) = 0;
    virtual const TClassDescription& GetItemDescription() const = 0;
};

// --- Text conversion of values --------------------------------------------

// Parse errors throw EPropertyError naming the text and the expected type.
double ParseReal(std::string_view AText);
int64_t ParseInteger(std::string_view AText);
bool ParseBoolean(std::string_view AText);
int ParseEnum(const TEnumInfo& AInfo, std::string_view AText);
std::string FormatReal(double AValue);
std::string FormatEnum(const TEnumInfo& AInfo, int AOrdinal);

// --- Building description rows from member functions ------------------------

namespace PropertyDetail {

// Name, kind, type, legacy name and whatever bounds the constant carries.
template <class S>
void FillRow(TPropertyInfo& AInfo, const S& ASpec, TPropertyKind AKind, std::string ATypeName)
{
    AInfo.Name = ASpec.Name;
    AInfo.Kind = AKind;
    AInfo.TypeName = std::move(ATypeName);
    if (ASpec.OldName)
        AInfo.OldNames.push_back(ASpec.OldName);
    if constexpr (requires { ASpec.Min; ASpec.Max; ASpec.DesignMin; ASpec.DesignMax; }) {
        if (ASpec.Min)
            AInfo.Min = static_cast<double>(*ASpec.Min);
        if (ASpec.Max)
            AInfo.Max = static_cast<double>(*ASpec.Max);
        AInfo.DesignMin = ASpec.DesignMin;
        AInfo.DesignMax = ASpec.DesignMax;
    }
}

// Text accessors from a getter and a setter (a null setter makes the row
// read-only); AFormat turns the value into text, AParse text into the value.
template <class C, class G, class S, class F, class P>
void BindText(TPropertyInfo& AInfo, G AGet, S ASet, F AFormat, P AParse)
{
    AInfo.GetText = [AGet, AFormat](TPersistent& AObject) { return AFormat((static_cast<C&>(AObject).*AGet)()); };
    if (ASet)
        AInfo.SetText = [ASet, AParse](TPersistent& AObject, std::string_view AText) {
            (static_cast<C&>(AObject).*ASet)(AParse(AText));
        };
    else
        AInfo.ReadOnly = true;
}

// Values outside an integer field's type are brought to its limits before
// the setter's own clamp, never wrapped.
template <class T>
T ParseIntegerAs(std::string_view AText)
{
    int64_t LValue = ParseInteger(AText);
    if constexpr (sizeof(T) < sizeof(int64_t) || std::is_unsigned_v<T>) {
        constexpr auto LLow = static_cast<int64_t>(std::numeric_limits<T>::min());
        constexpr auto LHigh = std::is_unsigned_v<T> && sizeof(T) >= sizeof(int64_t)
                                   ? std::numeric_limits<int64_t>::max()
                                   : static_cast<int64_t>(std::numeric_limits<T>::max());
        LValue = LValue < LLow ? LLow : (LValue > LHigh ? LHigh : LValue);
    }
    return static_cast<T>(LValue);
}

} // namespace PropertyDetail

template <class C>
TPropertyInfo DescribeProperty(const TRealSpec& ASpec, double (C::*AGet)() const, void (C::*ASet)(double))
{
    TPropertyInfo LInfo;
    PropertyDetail::FillRow(LInfo, ASpec, TPropertyKind::pkReal, "double");
    LInfo.DefaultText = FormatReal(ASpec.Default);
    PropertyDetail::BindText<C>(LInfo, AGet, ASet, [](double AValue) { return FormatReal(AValue); }, ParseReal);
    return LInfo;
}

template <class C>
TPropertyInfo DescribeProperty(const TSingleSpec& ASpec, float (C::*AGet)() const, void (C::*ASet)(float))
{
    TPropertyInfo LInfo;
    PropertyDetail::FillRow(LInfo, ASpec, TPropertyKind::pkSingle, "single");
    LInfo.DefaultText = FormatReal(ASpec.Default);
    PropertyDetail::BindText<C>(
        LInfo, AGet, ASet, [](float AValue) { return FormatReal(AValue); },
        [](std::string_view AText) { return static_cast<float>(ParseReal(AText)); });
    return LInfo;
}

template <class C, class T>
    requires std::is_integral_v<T>
TPropertyInfo DescribeProperty(const TIntSpec& ASpec, T (C::*AGet)() const, void (C::*ASet)(T))
{
    TPropertyInfo LInfo;
    PropertyDetail::FillRow(LInfo, ASpec, TPropertyKind::pkInteger, ASpec.TypeName);
    LInfo.DefaultText = std::to_string(ASpec.Default);
    PropertyDetail::BindText<C>(LInfo, AGet, ASet, [](T AValue) { return std::to_string(AValue); },
                                PropertyDetail::ParseIntegerAs<T>);
    return LInfo;
}

template <class C>
TPropertyInfo DescribeProperty(const TBoolSpec& ASpec, bool (C::*AGet)() const, void (C::*ASet)(bool))
{
    TPropertyInfo LInfo;
    PropertyDetail::FillRow(LInfo, ASpec, TPropertyKind::pkBoolean, "Boolean");
    LInfo.DefaultText = ASpec.Default ? "true" : "false";
    PropertyDetail::BindText<C>(
        LInfo, AGet, ASet, [](bool AValue) { return std::string(AValue ? "true" : "false"); }, ParseBoolean);
    return LInfo;
}

template <class C, class E>
TPropertyInfo DescribeProperty(const TEnumSpec<E>& ASpec, E (C::*AGet)() const, void (C::*ASet)(E))
{
    TPropertyInfo LInfo;
    const TEnumInfo* LEnum = ASpec.Info;
    PropertyDetail::FillRow(LInfo, ASpec, TPropertyKind::pkEnum, LEnum->TypeName);
    LInfo.Enum = LEnum;
    LInfo.DefaultText = FormatEnum(*LEnum, static_cast<int>(ASpec.Default));
    PropertyDetail::BindText<C>(
        LInfo, AGet, ASet, [LEnum](E AValue) { return FormatEnum(*LEnum, static_cast<int>(AValue)); },
        [LEnum](std::string_view AText) { return static_cast<E>(ParseEnum(*LEnum, AText)); });
    return LInfo;
}

template <class C>
TPropertyInfo DescribeProperty(const TStringSpec& ASpec, std::string (C::*AGet)() const,
                               void (C::*ASet)(const std::string&))
{
    TPropertyInfo LInfo;
    PropertyDetail::FillRow(LInfo, ASpec, TPropertyKind::pkString, "string");
    LInfo.DefaultText = ASpec.Default;
    if (ASpec.FileFilter)
        LInfo.FileFilter = ASpec.FileFilter;
    if (ASpec.FileExtension)
        LInfo.FileExtension = ASpec.FileExtension;
    if (ASpec.EditorEntry)
        LInfo.EditorEntry = ASpec.EditorEntry;
    PropertyDetail::BindText<C>(
        LInfo, AGet, ASet, [](const std::string& AValue) { return AValue; },
        [](std::string_view AText) { return std::string(AText); });
    return LInfo;
}

namespace PropertyDetail {
template <class C, class T, class G>
TPropertyInfo ReadOnlyRow(const char* AName, const char* ATypeName, G AGet)
{
    static_assert(std::is_integral_v<T>);
    TPropertyInfo LInfo;
    LInfo.Name = AName;
    LInfo.Kind = TPropertyKind::pkInteger;
    LInfo.TypeName = ATypeName;
    LInfo.ReadOnly = true;
    LInfo.GetText = [AGet](TPersistent& AObject) { return std::to_string((static_cast<C&>(AObject).*AGet)()); };
    return LInfo;
}
} // namespace PropertyDetail

// A read-only integer value (a position, a count) shown by inspectors and
// readable by path. The getter may be const or not (players read positions
// under their lock through virtual non-const getters).
template <class C, class T>
TPropertyInfo DescribeReadOnly(const char* AName, const char* ATypeName, T (C::*AGet)() const)
{
    return PropertyDetail::ReadOnlyRow<C, T>(AName, ATypeName, AGet);
}
template <class C, class T>
TPropertyInfo DescribeReadOnly(const char* AName, const char* ATypeName, T (C::*AGet)())
{
    return PropertyDetail::ReadOnlyRow<C, T>(AName, ATypeName, AGet);
}

// A nested settings object owned by the class (AutoManage).
template <class C, class O>
TPropertyInfo DescribeObject(const char* AName, O& (C::*AGet)())
{
    TPropertyInfo LInfo;
    LInfo.Name = AName;
    LInfo.Kind = TPropertyKind::pkObject;
    LInfo.TypeName = O::ClassDescription().ClassName;
    LInfo.Ownership = TFieldOwnership::foAutoManage;
    LInfo.GetObject = [AGet](TPersistent& AObject) -> TPersistent* { return &(static_cast<C&>(AObject).*AGet)(); };
    return LInfo;
}

template <class C, class L>
TPropertyInfo DescribeCollection(const char* AName, L& (C::*AGet)())
{
    TPropertyInfo LInfo;
    LInfo.Name = AName;
    LInfo.Kind = TPropertyKind::pkCollection;
    LInfo.TypeName = "TTypedCollection";
    LInfo.Ownership = TFieldOwnership::foAutoManage;
    LInfo.GetCollection = [AGet](TPersistent& AObject) -> TCollection* { return &(static_cast<C&>(AObject).*AGet)(); };
    return LInfo;
}

template <class C, class P>
TPropertyInfo DescribePin(const char* AName, const char* APinClass, P& (C::*AGet)())
{
    TPropertyInfo LInfo;
    LInfo.Name = AName;
    LInfo.Kind = TPropertyKind::pkPin;
    LInfo.TypeName = APinClass;
    LInfo.Ownership = TFieldOwnership::foAutoDestroy;
    LInfo.PinClass = APinClass;
    LInfo.GetPin = [AGet](TPersistent& AObject) -> TPNPin* { return &(static_cast<C&>(AObject).*AGet)(); };
    return LInfo;
}

template <class C>
TPropertyInfo DescribePinList(const char* AName, const char* APinClass, TPNPinList& (C::*AGet)())
{
    TPropertyInfo LInfo;
    LInfo.Name = AName;
    LInfo.Kind = TPropertyKind::pkPinList;
    LInfo.TypeName = "TPNPinList";
    LInfo.Ownership = TFieldOwnership::foAutoDestroy;
    LInfo.PinClass = APinClass;
    LInfo.GetPinList = [AGet](TPersistent& AObject) -> TPNPinList* { return &(static_cast<C&>(AObject).*AGet)(); };
    return LInfo;
}

// Clamps a value with the bounds of its constant.
inline double ClampTo(const TRealSpec& ASpec, double AValue)
{
    if (ASpec.Min && AValue < *ASpec.Min)
        return *ASpec.Min;
    if (ASpec.Max && AValue > *ASpec.Max)
        return *ASpec.Max;
    return AValue;
}

SN_API_END
} // namespace Sonorix
