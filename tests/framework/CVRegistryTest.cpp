// SPDX-License-Identifier: MIT
#include "CVRegistry.h"
#include "PNPins.h"
#include "SNCatalogue.h"
#include "SonorixPkg.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

using namespace Sonorix;

namespace {

class CVRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterAllComponents();
        Sonorix::Test::RegisterTestComponents();
    }
};

// Every class the package registers, each checked the same way.
std::vector<const TClassDescription*> PackageClasses()
{
    std::vector<const TClassDescription*> LClasses;
    for (const TClassDescription* LClass : TSNRegistry::Instance().List())
        if (LClass->Unit != "TestComponents")
            LClasses.push_back(LClass);
    return LClasses;
}

void CheckDefaultsAndClamps(TPersistent& AObject, const std::string& AWhere)
{
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        const std::string LPath = AWhere + "." + LInfo->Name;
        if (LInfo->Kind == TPropertyKind::pkObject) {
            CheckDefaultsAndClamps(*LInfo->GetObject(AObject), LPath);
            continue;
        }
        if (!LInfo->IsValue() || LInfo->ReadOnly)
            continue;
        ASSERT_TRUE(LInfo->DefaultText) << LPath << " declares no default";
        // The constructed value is the declared default.
        EXPECT_EQ(LInfo->GetText(AObject), *LInfo->DefaultText) << LPath;
        // Clamps keep the bounds the description states.
        if (LInfo->Min && (LInfo->Kind == TPropertyKind::pkReal || LInfo->Kind == TPropertyKind::pkInteger)) {
            LInfo->SetText(AObject, LInfo->Kind == TPropertyKind::pkInteger ? std::to_string(int64_t(*LInfo->Min) - 1000000)
                                                                             : FormatReal(*LInfo->Min - 1e6));
            EXPECT_DOUBLE_EQ(ParseReal(LInfo->GetText(AObject)), *LInfo->Min) << LPath;
        }
        if (LInfo->Max && (LInfo->Kind == TPropertyKind::pkReal || LInfo->Kind == TPropertyKind::pkInteger)) {
            LInfo->SetText(AObject, LInfo->Kind == TPropertyKind::pkInteger ? std::to_string(int64_t(*LInfo->Max) + 1)
                                                                             : FormatReal(*LInfo->Max * 2 + 1));
            EXPECT_DOUBLE_EQ(ParseReal(LInfo->GetText(AObject)), *LInfo->Max) << LPath;
        }
        // The default written back as text reads back the same.
        LInfo->SetText(AObject, *LInfo->DefaultText);
        EXPECT_EQ(LInfo->GetText(AObject), *LInfo->DefaultText) << LPath;
    }
}

} // namespace

TEST_F(CVRegistryTest, RegisteredClassesMatchTheirCatalogueRowsAndAreFoundByPrefix)
{
    std::set<std::string> LNames, LUnits;
    for (const TCatalogueEntry& LEntry : Catalogue()) {
        EXPECT_TRUE(LNames.insert(LEntry.ClassName).second) << LEntry.ClassName;
        EXPECT_TRUE(LUnits.insert(LEntry.Unit).second) << LEntry.Unit;
        EXPECT_EQ(std::string("T") + LEntry.Unit, LEntry.ClassName) << "a unit is named after its class";
    }
    EXPECT_EQ(LNames.size(), 37u);
    for (const TClassDescription* LClass : PackageClasses()) {
        const TCatalogueEntry& LEntry = CatalogueEntry(LClass->ClassName);
        EXPECT_EQ(LClass->Unit, LEntry.Unit);
        EXPECT_EQ(LClass->Category, LEntry.Category) << LClass->ClassName;
        EXPECT_EQ(LClass->DisplayName, LEntry.DisplayName);
    }
    EXPECT_THROW(CatalogueEntry("TSNNothing"), EAssertionFailed);
    const TClassDescription* LAmplifier = TSNRegistry::Instance().Find("TSNAmplifier");
    ASSERT_NE(LAmplifier, nullptr);
    EXPECT_STREQ(CategoryClassName(LAmplifier->Category), "TSonorixFiltersToolbarCategory");
    EXPECT_EQ(TSNRegistry::Instance().Find("amplifier"), LAmplifier) << "prefix and case are optional";
    EXPECT_EQ(TSNRegistry::Instance().Find("Amplifer"), nullptr);
    EXPECT_THROW(TSNRegistry::Instance().Create("NoSuchThing"), EPropertyError);
    // Registering again keeps one entry.
    const size_t LCount = TSNRegistry::Instance().List().size();
    SNAmplifier::RegisterPkg();
    EXPECT_EQ(TSNRegistry::Instance().List().size(), LCount);
}

TEST_F(CVRegistryTest, EveryPackageComponentHasItsDefaultsAndClampsFromItsDescription)
{
    const auto LClasses = PackageClasses();
    ASSERT_FALSE(LClasses.empty());
    for (const TClassDescription* LClass : LClasses) {
        SCOPED_TRACE(LClass->ClassName);
        EXPECT_FALSE(LClass->DisplayName.empty());
        EXPECT_NE(LClass->Category, TPaletteCategory::pcNone);
        TLockComponentPtr LComponent = LClass->Factory();
        EXPECT_EQ(&LComponent->GetClassDescription(), LClass);
        CheckDefaultsAndClamps(*LComponent, LClass->ClassName);
        // Every component can be wired by default in a pipeline.
        EXPECT_TRUE(FindPrimaryPin(*LComponent, true) || FindPrimaryPin(*LComponent, false));
    }
}

TEST_F(CVRegistryTest, EveryPropertyKindRoundTripsAsText)
{
    TLockComponentPtr LComponent = TSNRegistry::Instance().Create("TSNTestKitchenSink");
    TPersistent& LSink = *LComponent;
    CheckDefaultsAndClamps(LSink, "kitchen");
    // Text in, text out (names are case-insensitive; integers read hex).
    const std::tuple<const char*, const char*, const char*> LCases[] = {
        {"Count", "7", "7"}, {"gain", "-0.125", "-0.125"}, {"Phase", "1.5", "1.5"}, {"Active", "false", "false"},
        {"Mode", "tmThird", "tmThird"}, {"FileName", "a file.ogg", "a file.ogg"},
        {"AudioFormat.SampleRate", "48000", "48000"}, {"AudioFormat.BufferSize", "0x200", "512"}};
    for (const auto& [LPath, LText, LRead] : LCases) {
        SetPropertyText(LSink, LPath, LText);
        EXPECT_EQ(GetPropertyText(LSink, LPath), LRead) << LPath;
    }
    EXPECT_EQ(GetPropertyText(LSink, "Position"), "42");
    // Legacy names and removed properties land in the new place (and more in SNStoredGraphTest).
    SetPropertyText(LSink, "AudioFormat.CountChannels", "6");
    EXPECT_EQ(GetPropertyText(LSink, "AudioFormat.Channels"), "6");
    // Collections: Count resizes and pins follow; items by index.
    SetPropertyText(LSink, "Channels.Count", "3");
    SetPropertyText(LSink, "Channels[2].Frequency", "4000");
    EXPECT_EQ(GetPropertyText(LSink, "Channels[2].Frequency"), "4000");
    EXPECT_EQ(GetPropertyText(LSink, "Channels[0].Frequency"), "1000");
    EXPECT_NE(FindPin(LSink, "InputPins", 2), nullptr);
    EXPECT_EQ(FindPin(LSink, "InputPins", 3), nullptr);
    const auto LChanged = ChangedProperties(LSink);
    auto LHas = [&](const std::string& APath, const std::string& AValue) {
        return std::find(LChanged.begin(), LChanged.end(), std::make_pair(APath, AValue)) != LChanged.end();
    };
    EXPECT_TRUE(LHas("Mode", "tmThird"));
    EXPECT_TRUE(LHas("AudioFormat.SampleRate", "48000"));
    EXPECT_TRUE(LHas("Channels[2].Frequency", "4000"));
    EXPECT_FALSE(LHas("Channels[0].Frequency", "1000"));
}

TEST_F(CVRegistryTest, BadPathsAndValuesAreRefusedWithMessagesThatNameThem)
{
    TLockComponentPtr LComponent = TSNRegistry::Instance().Create("TSNTestKitchenSink");
    LComponent->SetName("ks");
    auto LMessage = [&](const char* APath, const char* AValue) -> std::string {
        try {
            SetPropertyText(*LComponent, APath, AValue);
        } catch (const EPropertyError& E) {
            return E.what();
        }
        return "accepted";
    };
    EXPECT_EQ(LMessage("Gian", "1"), "ks (TSNTestKitchenSink) has no property 'Gian'");
    EXPECT_EQ(LMessage("Gain", "loud"), "property 'Gain' of ks: 'loud' is not a real number");
    EXPECT_EQ(LMessage("Gain", "nan"), "property 'Gain' of ks: 'nan' is not a real number");
    EXPECT_EQ(LMessage("Count", "1.5"), "property 'Count' of ks: '1.5' is not an integer");
    EXPECT_EQ(LMessage("Count", "99999999999999999999"),
              "property 'Count' of ks: '99999999999999999999' is out of the integer range");
    EXPECT_EQ(LMessage("Active", "maybe"), "property 'Active' of ks: 'maybe' is not a Boolean (true or false)");
    EXPECT_EQ(LMessage("Mode", "tmFourth"),
              "property 'Mode' of ks: 'tmFourth' is not a value of TTestMode (tmFirst, tmSecond, tmThird)");
    EXPECT_EQ(LMessage("Position", "3"), "property 'Position' of ks: it is read-only");
    EXPECT_NE(LMessage("AudioFormat", "3").find("is an object"), std::string::npos);
    EXPECT_NE(LMessage("Channels[5].Frequency", "3").find("beyond Channels.Count (2)"), std::string::npos);
    EXPECT_NE(LMessage("Channels[x].Frequency", "3").find("malformed index 'x'"), std::string::npos);
    EXPECT_NE(LMessage("Channels[1", "3").find("missing ']'"), std::string::npos);
    EXPECT_NE(LMessage("Channels.Count", "-1").find("within 0 .. 1024"), std::string::npos);
    EXPECT_NE(LMessage("OutputPin", "3").find("is a pin"), std::string::npos);
    EXPECT_NE(LMessage("Gain.X", "3").find("has no members"), std::string::npos);
    EXPECT_NE(LMessage("..", "3").find("malformed property path"), std::string::npos);
    // A value outside an integer field's type is brought to the setter's clamp.
    SetPropertyText(*LComponent, "Count", "-99999999999");
    EXPECT_EQ(GetPropertyText(*LComponent, "Count"), "1");
}

TEST_F(CVRegistryTest, PrimaryPinsAndEventsComeFromTheDescription)
{
    TLockComponentPtr LComponent = TSNRegistry::Instance().Create("TSNTestKitchenSink");
    auto& LSink = static_cast<Sonorix::Test::TTestKitchenSink&>(*LComponent);
    EXPECT_EQ(FindPrimaryPin(LSink, true), &LSink.GetOutputPin());
    EXPECT_EQ(FindPrimaryPin(LSink, false), LSink.GetInputPins().GetPin(0));
    EXPECT_EQ(AllPins(LSink).size(), 4u);
    std::vector<std::string> LEvents;
    for (const TEventInfo* LEvent : LSink.GetClassDescription().AllEvents())
        LEvent->Bind(LSink, [&](TPersistent& ASender, std::string_view AName, const std::vector<TEventField>& AFields) {
            EXPECT_EQ(&ASender, &LSink);
            LEvents.push_back(std::string(AName) + "=" + std::to_string(std::get<double>(AFields[1].Value)));
        });
    LSink.FireValue(0.5);
    EXPECT_EQ(LEvents, std::vector<std::string>{"OnValueChange=0.500000"});
}
