// SPDX-License-Identifier: MIT
#include "SNStoredGraph.h"

#include "PNPins.h"
#include "SonorixPkg.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Sonorix;

namespace {

class SNStoredGraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterAllComponents();
        Sonorix::Test::RegisterTestComponents();
    }
};

// Gives every settable value of AObject a value that differs from AFresh's
// (quotes, '#', '!' and spaces in strings); collections grow by two items, so
// an index into one can change too.
// Returns the paths changed.
void ChangeEverything(TPersistent& AObject, TPersistent& AFresh, const std::string& APrefix,
                      std::vector<std::string>& AChanged)
{
    for (const TPropertyInfo* LInfo : AObject.GetClassDescription().AllProperties()) {
        if (LInfo->Kind == TPropertyKind::pkObject) {
            ChangeEverything(*LInfo->GetObject(AObject), *LInfo->GetObject(AFresh), APrefix + LInfo->Name + ".",
                             AChanged);
        } else if (LInfo->Kind == TPropertyKind::pkCollection) {
            TCollection* LItems = LInfo->GetCollection(AObject);
            LItems->SetCount(LItems->GetCount() + 2);
            LInfo->GetCollection(AFresh)->SetCount(LItems->GetCount());
            AChanged.push_back(APrefix + LInfo->Name + ".Count");
            for (int I = 0; I < LItems->GetCount(); ++I)
                ChangeEverything(*LItems->GetItem(I), *LInfo->GetCollection(AFresh)->GetItem(I),
                                 APrefix + LInfo->Name + "[" + std::to_string(I) + "].", AChanged);
        } else if (LInfo->IsValue() && !LInfo->ReadOnly && LInfo->Stored && LInfo->SetText) {
            const std::string LDefault = LInfo->GetText(AFresh);
            std::vector<std::string> LCandidates;
            switch (LInfo->Kind) {
            case TPropertyKind::pkBoolean: LCandidates = {LDefault == "true" ? "false" : "true"}; break;
            case TPropertyKind::pkEnum:
                for (const char* LName : LInfo->Enum->Names)
                    LCandidates.push_back(LName);
                std::rotate(LCandidates.begin(), LCandidates.begin() + 1, LCandidates.end());
                break;
            case TPropertyKind::pkString: LCandidates = {"it's a \"b\" #c !d.x"}; break;
            default: {
                const double LValue = ParseReal(LDefault);
                for (double LTry : {LValue + 1, LValue * 0.75 + 0.125, LValue - 1, LInfo->Min.value_or(-7.0),
                                    LInfo->Max.value_or(7.0)})
                    LCandidates.push_back(LInfo->Kind == TPropertyKind::pkInteger
                                              ? std::to_string(static_cast<int64_t>(LTry))
                                              : FormatReal(LTry));
            }
            }
            for (const std::string& LCandidate : LCandidates) {
                LInfo->SetText(AObject, LCandidate);
                if (LInfo->GetText(AObject) != LDefault)
                    break;
            }
            if (LInfo->GetText(AObject) != LDefault)
                AChanged.push_back(APrefix + LInfo->Name);
            else
                ADD_FAILURE() << APrefix << LInfo->Name << " keeps its default " << LDefault;
        }
    }
}

TEST_F(SNStoredGraphTest, EveryRegisteredClassRoundTripsByteForByte)
{
    TSNGraph LGraph;
    size_t LPaths = 0;
    for (const TClassDescription* LClass : TSNRegistry::Instance().List()) {
        TSNGraphNode& LNode = LGraph.Add("c" + std::to_string(LGraph.Nodes().size()), LClass->Factory());
        std::vector<std::string> LChanged;
        ChangeEverything(*LNode.Component, *LClass->Factory(), "", LChanged);
        const std::string LLine = StoreGraphText(LGraph).substr(StoreGraphText(LGraph).rfind(LClass->ClassName + " "));
        for (const std::string& LPath : LChanged)
            EXPECT_NE(LLine.find(" " + LPath + "="), std::string::npos) << LPath << " missing in " << LLine;
        LPaths += LChanged.size();
    }
    const std::string LText = StoreGraphText(LGraph);
    std::unique_ptr<TSNGraph> LRead;
    ASSERT_NO_THROW(LRead = ReadGraphText(LText, "all.snx")) << LText;
    EXPECT_EQ(StoreGraphText(*LRead), LText);
    EXPECT_GT(LPaths, 200u);
}

TEST_F(SNStoredGraphTest, LinksLegacyNamesAndCommentsAreRead)
{
    const std::string LText = "# two sources into a mixer\n"
                              "TestSource name=a MaxBuffers=4   # stops by itself\n"
                              "TestSource name=b MaxBuffers=4\n"
                              "TestKitchenSink name=k NumTaps=7 UseCustomFormat=5 FileName='x y'\n"
                              "TSNAudioMixer name=mix Channels.Count=2\n"
                              "TestCollector name=out\n"
                              "a.OutputPin ! mix.InputPins[0]\n"
                              "b.OutputPin ! mix.InputPins[1]\n"
                              "mix.OutputPin ! out.InputPin\n";
    std::unique_ptr<TSNGraph> LGraph = ReadGraphText(LText, "mix.snx");
    ASSERT_EQ(LGraph->Nodes().size(), 5u);
    EXPECT_EQ(GetPropertyText(*LGraph->Find("k")->Component, "Count"), "7");
    EXPECT_EQ(GetPropertyText(*LGraph->Find("k")->Component, "AudioFormat.Channels"), "5");
    const std::string LStored = StoreGraphText(*LGraph);
    EXPECT_NE(LStored.find("TSNAudioMixer name=mix Channels.Count=2\n"), std::string::npos) << LStored;
    EXPECT_NE(LStored.find("a.OutputPin ! mix.InputPins[0]\nb.OutputPin ! mix.InputPins[1]\n"), std::string::npos);
    EXPECT_NE(LStored.find(" Count=7"), std::string::npos) << "legacy names are stored under the current name";
    EXPECT_EQ(StoreGraphText(*ReadGraphText(LStored)), LStored);
}

TEST_F(SNStoredGraphTest, BadGraphsGiveOneErrorWithFileLineAndColumn)
{
    struct TCase {
        std::string Text;
        std::string Message;
        int Line, Column;
    };
    const std::vector<TCase> LCases{
        {"TestSource name=a\nTSNNoSuch name=b\n", "g.snx:2:1: unknown component 'TSNNoSuch'", 2, 1},
        {"TestSource name=a\n  TestCollector Bogus=1\n", "has no property 'Bogus'", 2, 17},
        {"TestSource MaxBuffers=many", "'many' is not an integer", 1, 12},
        {"TestKitchenSink Mode=tmFourth", "is not a value of", 1, 17},
        {"TestSource name=a\nTestCollector name=A\n", "two elements are named 'A'", 2, 1},
        {"TestSource name=a\n\na.Nope ! b.InputPin\nTestCollector name=b", "a has no pin 'Nope'", 3, 1},
        {"TestSource name=a\na.OutputPin ! zz.InputPin", "unknown element 'zz'", 2, 15},
        {std::string("TestSource\0\x01\xff name=\x02", 19), "bad class name", 1, 1},
        {std::string(100000, 'A') + "=1", "setting", 1, 1},
        {"TestKitchenSink " + std::string(5000, 'a') + "." + std::string(5000, 'b') + "=1", "has no property", 1, 17},
        {"TestKitchenSink Channels[5].Frequency=1", "beyond Channels.Count", 1, 17},
        {"TestKitchenSink Channels.Count=100000", "within 0 .. 1024", 1, 17},
    };
    for (const TCase& LCase : LCases) {
        SCOPED_TRACE(LCase.Text.substr(0, 60));
        try {
            ReadGraphText(LCase.Text, "g.snx");
            ADD_FAILURE() << "read without error";
        } catch (const ESNGraphError& E) {
            const std::string LMessage = E.what();
            EXPECT_NE(LMessage.find(LCase.Message), std::string::npos) << LMessage;
            EXPECT_EQ(LMessage.rfind("g.snx:" + std::to_string(LCase.Line) + ":" + std::to_string(LCase.Column) + ": ", 0),
                      0u)
                << LMessage;
            EXPECT_EQ(LMessage.find_first_of("\n\r\x01\x02"), std::string::npos) << LMessage;
            EXPECT_LT(LMessage.size(), 600u);
        }
    }
    EXPECT_THROW(ReadGraphFile("/nonexistent/graph.snx"), ESNGraphError);
}

} // namespace
