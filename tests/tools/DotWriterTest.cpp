// SPDX-License-Identifier: MIT
#include "DotWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

using namespace Sonorix::Cli;
namespace fs = std::filesystem;

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
    return std::system("command -v dot >/dev/null 2>&1") == 0;
}

// Graphviz's own verdict: exit status and anything it printed (warnings too).
std::pair<int, std::string> RunDot(const std::string& ADot)
{
    static int Counter = 0;
    const fs::path Base = fs::temp_directory_path() /
                          ("sonorix-dot-" + std::to_string(getpid()) + "-" + std::to_string(Counter++));
    const fs::path In = Base.string() + ".dot", Err = Base.string() + ".err";
    std::ofstream(In, std::ios::binary) << ADot;
    const std::string Command = "dot -Tsvg -o /dev/null '" + In.string() + "' 2>'" + Err.string() + "'";
    const int Status = std::system(Command.c_str());
    std::stringstream Messages;
    Messages << std::ifstream(Err).rdbuf();
    fs::remove(In);
    fs::remove(Err);
    return {Status, Messages.str()};
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

void ExpectValid(const std::string& ADot)
{
    ExpectWellFormed(ADot);
    if (HaveDot()) {
        const auto [Status, Messages] = RunDot(ADot);
        EXPECT_EQ(Status, 0) << Messages << "\n" << ADot;
        EXPECT_EQ(Messages, "") << ADot;
    }
}

} // namespace

TEST(DotWriter, ConnectsPinsThroughPorts)
{
    const std::string Dot = WriteDot(MixerGraph());
    ExpectValid(Dot);
    EXPECT_NE(Dot.find("\"gen\":o0:s -> \"mix\":i0:n;"), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("\"noise\":o0:s -> \"mix\":i1:n;"), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("\"mix\":o0:s -> \"meter\":i0:n;"), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("<TD PORT=\"i1\">InputPins[1&#93;</TD>"), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("Channels[1&#93;.Coefficient = 0.25"), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("<B>mix</B>"), std::string::npos) << Dot;
    EXPECT_NE(Dot.find("TSNAudioMixer"), std::string::npos) << Dot;
}

TEST(DotWriter, EmptyGraph)
{
    ExpectValid(WriteDot({}));
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

TEST(DotWriter, RandomGraphsAreValid)
{
    std::mt19937 Random(4242);
    auto Text = [&](size_t AMax) {
        static const std::string Alphabet = "aZ_09 .[]<>&\"'\\{}|:;=-\n\t\x01\xC3\xA9\xFF";
        std::string S(std::uniform_int_distribution<size_t>(0, AMax)(Random), ' ');
        for (char& C : S)
            C = Alphabet[std::uniform_int_distribution<size_t>(0, Alphabet.size() - 1)(Random)];
        return S;
    };
    const int Graphs = HaveDot() ? 30 : 300;
    for (int I = 0; I < Graphs; ++I) {
        TDotGraph G;
        for (int N = std::uniform_int_distribution<int>(0, 5)(Random); N > 0; --N) {
            TDotNode Node{Text(8), Text(12), {}, {}, {}};
            for (int P = std::uniform_int_distribution<int>(0, 3)(Random); P > 0; --P)
                Node.Properties.emplace_back(Text(10), Text(20));
            for (int P = std::uniform_int_distribution<int>(0, 3)(Random); P > 0; --P)
                Node.InputPins.push_back(Text(6));
            for (int P = std::uniform_int_distribution<int>(0, 3)(Random); P > 0; --P)
                Node.OutputPins.push_back(Text(6));
            G.Nodes.push_back(Node);
        }
        for (int E = std::uniform_int_distribution<int>(0, 6)(Random); E > 0 && !G.Nodes.empty(); --E) {
            auto Pick = [&]() -> const TDotNode& {
                return G.Nodes[std::uniform_int_distribution<size_t>(0, G.Nodes.size() - 1)(Random)];
            };
            const TDotNode& From = Pick();
            const TDotNode& To = Pick();
            G.Edges.push_back({From.Name, From.OutputPins.empty() ? "" : From.OutputPins[0], To.Name,
                               To.InputPins.empty() ? Text(3) : To.InputPins.back()});
        }
        SCOPED_TRACE(I);
        ExpectValid(WriteDot(G));
        if (HasFailure())
            return;
    }
}
