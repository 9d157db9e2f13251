// SPDX-License-Identifier: MIT
#include "DotWriter.h"
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace Sonorix::Cli;
using namespace Sonorix::Test::Codecs;

namespace {

TDotGraph MixerGraph()
{
    TDotGraph G;
    G.Nodes.push_back({"gen", "TSNSignalGen", {{"Frequency", "440"}, {"Amplitude", "10000"}}, {}, {"OutputPin"}});
    G.Nodes.push_back({"noise", "TSNRandomGen", {}, {}, {"OutputPin"}});
    G.Nodes.push_back({"mix",
                       "TSNAudioMixer",
                       {{"Channels.Count", "2"}, {"Channels[1].Coefficient", "0.25"}},
                       {"InputPins[0]", "InputPins[1]"},
                       {"OutputPin"}});
    G.Nodes.push_back({"meter", "TSNVUMeter", {}, {"InputPin"}, {"OutputPin"}});
    G.Edges.push_back({"gen", "OutputPin", "mix", "InputPins[0]"});
    G.Edges.push_back({"noise", "OutputPin", "mix", "InputPins[1]"});
    G.Edges.push_back({"mix", "OutputPin", "meter", "InputPin"});
    return G;
}

bool HaveDot()
{
    static const bool Have = Shell("command -v dot").ExitCode == 0;
    return Have;
}

// What holds for any output, with or without Graphviz at hand.
void ExpectWellFormed(const std::string& ADot)
{
    EXPECT_EQ(ADot.rfind("digraph pipeline {\n", 0), 0u);
    EXPECT_EQ(ADot.substr(ADot.size() - 2), "}\n");
    int Depth = 0;
    bool InQuotes = false;
    for (size_t I = 0; I < ADot.size(); ++I) {
        const char C = ADot[I];
        if (C == '"')
            InQuotes = !InQuotes;
        else if (!InQuotes && C == '<')
            ++Depth;
        else if (!InQuotes && C == '>' && ADot[I - 1] != '-')
            --Depth;
        ASSERT_GE(Depth, 0) << ADot;
    }
    EXPECT_FALSE(InQuotes);
    EXPECT_EQ(Depth, 0) << ADot;
}

// Graphviz's own verdict too, when it is at hand: no error, no warning.
void ExpectValid(const std::string& ADot)
{
    ExpectWellFormed(ADot);
    if (HaveDot()) {
        const TTempDir Dir;
        std::ofstream(Dir.Path("g.dot"), std::ios::binary) << ADot;
        const TShellResult Run = Shell("dot -Tsvg -o /dev/null " + Quote(Dir.Path("g.dot")));
        EXPECT_EQ(Run.ExitCode, 0) << Run.Output << "\n" << ADot;
        EXPECT_EQ(Run.Output, "") << ADot;
    }
}

} // namespace

TEST(DotWriter, ConnectsPinsThroughPorts)
{
    ExpectValid(WriteDot({}));
    const std::string Dot = WriteDot(MixerGraph());
    ExpectValid(Dot);
    for (const char* Expected : {"\"gen\":o0:s -> \"mix\":i0:n;", "\"noise\":o0:s -> \"mix\":i1:n;",
                                 "\"mix\":o0:s -> \"meter\":i0:n;", "<TD PORT=\"i1\">InputPins[1&#93;</TD>",
                                 "Channels[1&#93;.Coefficient = 0.25", "<B>mix</B>", "TSNAudioMixer"})
        EXPECT_NE(Dot.find(Expected), std::string::npos) << Expected << "\n" << Dot;
}

TEST(DotWriter, EscapesEverythingItIsGiven)
{
    TDotGraph G;
    G.Nodes.push_back({"a\"b\\", "<script>&", {{"FileName", "it's \"x\" <y> & z\\\n"}}, {"in<1>"}, {"out&"}});
    G.Nodes.push_back({"", "T", {{"Bad", "\xFF\x01"}}, {"p"}, {}});
    G.Nodes.push_back({"dup", "T", {}, {}, {"o"}});
    G.Nodes.push_back({"dup", "T", {}, {"i"}, {}});
    G.Nodes.push_back({"node0", "T", {}, {}, {}}); // the made-up IDs must not clash with it
    G.Nodes.push_back({"long", "T", {{"Coefficients", std::string(500, '7')}}, {}, {}});
    G.Edges.push_back({"a\"b\\", "out&", "", "p"});
    G.Edges.push_back({"dup", "o", "missing\"node", "x"});     // a name not in the graph
    G.Edges.push_back({"dup", "no such pin", "a\"b\\", "in<1>"});
    const std::string Dot = WriteDot(G);
    ExpectValid(Dot);
    EXPECT_EQ(Dot.find("<script>"), std::string::npos);
    EXPECT_NE(Dot.find("&lt;script&gt;&amp;"), std::string::npos);
    EXPECT_NE(Dot.find("it&#39;s &quot;x&quot; &lt;y&gt; &amp; z\\ "), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("\xEF\xBF\xBD?"), std::string::npos) << Dot;
    EXPECT_EQ(Dot.find(std::string(100, '7')), std::string::npos) << "long values are cut";
    EXPECT_NE(Dot.find("\"node0\""), std::string::npos);
    EXPECT_NE(Dot.find("style=dashed"), std::string::npos) << Dot;
}
