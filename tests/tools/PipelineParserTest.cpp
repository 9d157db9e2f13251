// SPDX-License-Identifier: MIT
#include "PipelineParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Sonorix::Cli;

namespace {

size_t Find(std::string_view AText, std::string_view AWhat, size_t AFrom = 0)
{
    size_t Pos = AText.find(AWhat, AFrom);
    EXPECT_NE(Pos, std::string_view::npos) << AWhat;
    return Pos;
}

} // namespace

TEST(PipelineParser, ChainsMeetAtNamedPinsWithEveryPosition)
{
    // Chains apart by spaces or a newline, a '!' without spaces, a name that
    // is not a setting, a timed setting.
    const std::string Text = "TSNSignalGen Frequency=440 ! mix.InputPins[0]\nTSNRandomGen!mix.InputPins[1]  "
                             "TSNAudioMixer name=mix Channels.Count=2 Channels[1].Coefficient@0.5=0.25 ! TSNVUMeter";
    const size_t Random = Find(Text, "TSNRandomGen"), Mixer = Find(Text, "TSNAudioMixer"),
                 Meter = Find(Text, "TSNVUMeter");
    TPipeline Expected;
    Expected.Elements = {
        TElement{"TSNSignalGen", "", {TSetting{"Frequency", "440", 13}}, 0},
        TElement{"TSNRandomGen", "", {}, Random},
        TElement{"TSNAudioMixer",
                 "mix",
                 {TSetting{"Channels.Count", "2", Find(Text, "Channels.Count")},
                  TSetting{"Channels[1].Coefficient", "0.25", Find(Text, "Channels[1]"), 0.5}},
                 Mixer},
        TElement{"TSNVUMeter", "", {}, Meter}};
    Expected.Links = {
        TLink{{size_t{0}, 0}, {TPinRef{"mix", "InputPins", 0}, Find(Text, "mix.InputPins[0]")}, 27},
        TLink{{size_t{1}, Random}, {TPinRef{"mix", "InputPins", 1}, Find(Text, "mix.InputPins[1]")}, Random + 12},
        TLink{{size_t{2}, Mixer}, {size_t{3}, Meter}, Meter - 2}};
    EXPECT_EQ(ParsePipeline(Text), Expected);
}

TEST(PipelineParser, PinsOnEitherSideNamesAndQuotedValues)
{
    TPipeline P = ParsePipeline("a.OutputPin ! b.InputPins[12]");
    EXPECT_TRUE(P.Elements.empty());
    ASSERT_EQ(P.Links.size(), 1u);
    EXPECT_EQ(P.Links[0].To, (TEndpoint{TPinRef{"b", "InputPins", 12}, 14}));
    EXPECT_EQ(ToString(P.Links[0].To.Pin()), "b.InputPins[12]");
    EXPECT_EQ(ToString(P.Links[0].From.Pin()), "a.OutputPin");
    // A pin in the middle of a chain is both a target and a source.
    P = ParsePipeline("Gen ! d.InputPin ! Meter");
    ASSERT_EQ(P.Links.size(), 2u);
    EXPECT_EQ(P.Links[0].To, P.Links[1].From);
    // A name may be used before its element, and "Name" is "name".
    P = ParsePipeline("  Gen ! m.InputPins[0] Mixer Name=m");
    ASSERT_EQ(P.Elements.size(), 2u);
    EXPECT_EQ(P.Elements[0].Position, 2u);
    EXPECT_EQ(P.Elements[1].Name, "m");
    EXPECT_TRUE(P.Elements[1].Settings.empty());

    P = ParsePipeline("Player FileName='my file.wav' Title=\"a ! b\" Empty='' Mixed='it'\"'\"'s' "
                      "Eq=a=b Tab=\"x\ty\" U=\xC3\xA9t\xC3\xA9");
    ASSERT_EQ(P.Elements.size(), 1u);
    std::vector<std::string> Values;
    for (const TSetting& S : P.Elements[0].Settings)
        Values.push_back(S.Value);
    // Only the first '=' splits.
    EXPECT_EQ(Values, (std::vector<std::string>{"my file.wav", "a ! b", "", "it's", "a=b", "x\ty", "\xC3\xA9t\xC3\xA9"}));
}

TEST(PipelineParser, ErrorsNameTheProblemAndPositionOnOneShortLine)
{
    struct TCase {
        std::string Text;
        const char* Message;
        size_t Position;
    };
    const TCase Cases[] = {
        {" \t\n ", "empty pipeline", 0},
        {"! A", "'!' with no element before it", 0},
        {"A !", "expected an element after '!'", 2},
        {"A ! ! B", "doubled '!'", 4},
        {"A !! B", "doubled '!'", 3},
        {"A FileName='x", "unterminated quote", 11},
        {"A FileName=\"x' ! B", "unterminated quote", 11},
        {"Frequency=3 ! X", "setting 'Frequency=3' before any element", 0},
        {"a.OutputPin Frequency=3 ! X", "setting 'Frequency=3' after pin reference 'a.OutputPin'", 12},
        {"A ! X=3", "expected an element after '!', found setting 'X=3'", 4},
        {"A ! mix.InputPins[x]", "bad pin index 'x'", 4},
        {"A ! mix.InputPins[-1]", "bad pin index '-1'", 4},
        {"A ! mix.InputPins[0", "missing ']'", 4},
        {"A ! mix.InputPins[0]x", "unexpected text after ']'", 4},
        {"A ! mix.InputPins[99999999999]", "is too large", 4},
        {"A ! .InputPin", "bad element name in pin reference", 4},
        {"A ! m.", "bad pin name", 4},
        {"A ! a.b.c", "bad pin reference 'a.b.c'", 4},
        {"A =3", "empty property name", 2},
        {"A X=", "missing value in 'X='", 2},
        {"A 'X'=1", "quotes are allowed only in values", 2},
        {"A X..Y=1", "bad property path 'X..Y'", 2},
        {"A X@-1=1", "bad time '-1'", 2},
        {"A 'B'", "unexpected quoted text", 2},
        {"A ! 3Gen", "bad class name '3Gen'", 4},
        {"A name=1x", "bad element name '1x'", 2},
        {"A name=''", "bad element name ''", 2},
        {"A name=m Name=n", "named twice", 9},
        {"A name=m ! B name=m", "duplicate element name 'm' (first at position 2)", 13},
        {"a.b", "pin reference 'a.b' is not linked to anything", 0},
        {"A ! B a.b", "pin reference 'a.b' is not linked", 6},
        {"A ! " + std::string(500, 'x') + ".b[z\x01]", "bad pin index", 4},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Text);
        try {
            ParsePipeline(C.Text);
            ADD_FAILURE() << "no error";
        } catch (const TPipelineError& E) {
            const std::string Message = E.what();
            EXPECT_NE(Message.find(C.Message), std::string::npos) << Message;
            EXPECT_EQ(E.Position(), C.Position) << Message;
            EXPECT_EQ(Message.rfind("pipeline: ", 0), 0u) << Message;
            EXPECT_TRUE(Message.ends_with(" at position " + std::to_string(C.Position))) << Message;
            EXPECT_EQ(Message.find_first_of("\n\x01"), std::string::npos) << Message;
            EXPECT_LT(Message.size(), 200u) << Message;
        }
    }
}
