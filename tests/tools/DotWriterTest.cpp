// SPDX-License-Identifier: MIT
#include "DotWriter.h"
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace Sonorix::Cli;
using namespace Sonorix::Test::Codecs;

namespace {

// Graphviz's own verdict (scripts/install-deps.sh installs it): no error, no warning.
void ExpectValid(const std::string& ADot)
{
    EXPECT_EQ(ADot.rfind("digraph pipeline {\n", 0), 0u);
    static const bool LHaveDot = Shell("command -v dot").ExitCode == 0;
    if (!LHaveDot)
        return;
    const TTempDir Dir;
    std::ofstream(Dir.Path("g.dot"), std::ios::binary) << ADot;
    const TShellResult Run = Shell("dot -Tsvg -o /dev/null " + Quote(Dir.Path("g.dot")));
    EXPECT_TRUE(Run.ExitCode == 0 && Run.Output.empty()) << Run.Output << "\n" << ADot;
}

} // namespace

TEST(DotWriter, ConnectsPinsThroughPorts)
{
    ExpectValid(WriteDot({}));
    TDotGraph G;
    G.Nodes.push_back({"gen", "TSNSignalGen", {{"Frequency", "440"}, {"Amplitude", "10000"}}, {}, {"OutputPin"}});
    G.Nodes.push_back({"noise", "TSNRandomGen", {}, {}, {"OutputPin"}});
    G.Nodes.push_back({"mix", "TSNAudioMixer", {{"Channels.Count", "2"}, {"Channels[1].Coefficient", "0.25"}},
                       {"InputPins[0]", "InputPins[1]"}, {"OutputPin"}});
    G.Nodes.push_back({"meter", "TSNVUMeter", {}, {"InputPin"}, {"OutputPin"}});
    G.Edges = {{"gen", "OutputPin", "mix", "InputPins[0]"}, {"noise", "OutputPin", "mix", "InputPins[1]"},
               {"mix", "OutputPin", "meter", "InputPin"}};
    const std::string Dot = WriteDot(G);
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
