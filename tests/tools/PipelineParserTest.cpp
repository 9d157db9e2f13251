// SPDX-License-Identifier: MIT
#include "PipelineParser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace Sonorix::Cli;

namespace {

TEndpoint ElementEnd(size_t AIndex, size_t APosition)
{
    return TEndpoint{AIndex, APosition};
}

TEndpoint PinEnd(const std::string& AElement, const std::string& APin, std::optional<int> AIndex, size_t APosition)
{
    return TEndpoint{TPinRef{AElement, APin, AIndex}, APosition};
}

size_t Find(std::string_view AText, std::string_view AWhat, size_t AFrom = 0)
{
    size_t Pos = AText.find(AWhat, AFrom);
    EXPECT_NE(Pos, std::string_view::npos) << AWhat;
    return Pos;
}

} // namespace

TEST(PipelineParser, LinearChainWithSettings)
{
    const std::string Text = "TSNSignalGen Frequency=440 Amplitude=10000 ! TSNAmplifier Coefficient=0.5";
    const TPipeline P = ParsePipeline(Text);
    ASSERT_EQ(P.Elements.size(), 2u);
    EXPECT_EQ(P.Elements[0].ClassName, "TSNSignalGen");
    EXPECT_EQ(P.Elements[0].Name, "");
    EXPECT_EQ(P.Elements[0].Position, 0u);
    ASSERT_EQ(P.Elements[0].Settings.size(), 2u);
    EXPECT_EQ(P.Elements[0].Settings[0], (TSetting{"Frequency", "440", Find(Text, "Frequency")}));
    EXPECT_EQ(P.Elements[0].Settings[1], (TSetting{"Amplitude", "10000", Find(Text, "Amplitude")}));
    EXPECT_EQ(P.Elements[1].ClassName, "TSNAmplifier");
    EXPECT_EQ(P.Elements[1].Position, Find(Text, "TSNAmplifier"));
    ASSERT_EQ(P.Elements[1].Settings.size(), 1u);
    EXPECT_EQ(P.Elements[1].Settings[0].Value, "0.5");
    ASSERT_EQ(P.Links.size(), 1u);
    EXPECT_EQ(P.Links[0], (TLink{ElementEnd(0, 0), ElementEnd(1, Find(Text, "TSNAmp")), Find(Text, "!")}));
}

TEST(PipelineParser, SeveralChainsMeetAtNamedPins)
{
    const std::string Text = "TSNSignalGen ! mix.InputPins[0]  TSNRandomGen ! mix.InputPins[1]  TSNAudioMixer name=mix "
                             "Channels.Count=2 Channels[1].Coefficient=0.25 ! TSNVUMeter";
    const TPipeline P = ParsePipeline(Text);
    ASSERT_EQ(P.Elements.size(), 4u);
    EXPECT_EQ(P.Elements[0].ClassName, "TSNSignalGen");
    EXPECT_EQ(P.Elements[1].ClassName, "TSNRandomGen");
    EXPECT_EQ(P.Elements[2].ClassName, "TSNAudioMixer");
    EXPECT_EQ(P.Elements[2].Name, "mix");
    ASSERT_EQ(P.Elements[2].Settings.size(), 2u); // name= is not a setting
    EXPECT_EQ(P.Elements[2].Settings[0].Path, "Channels.Count");
    EXPECT_EQ(P.Elements[2].Settings[0].Value, "2");
    EXPECT_EQ(P.Elements[2].Settings[1].Path, "Channels[1].Coefficient");
    EXPECT_EQ(P.Elements[2].Settings[1].Value, "0.25");
    EXPECT_EQ(P.Elements[3].ClassName, "TSNVUMeter");

    const size_t Pin0 = Find(Text, "mix.InputPins[0]");
    const size_t Pin1 = Find(Text, "mix.InputPins[1]");
    const size_t Random = Find(Text, "TSNRandomGen");
    const size_t Mixer = Find(Text, "TSNAudioMixer");
    const size_t Meter = Find(Text, "TSNVUMeter");
    ASSERT_EQ(P.Links.size(), 3u);
    EXPECT_EQ(P.Links[0], (TLink{ElementEnd(0, 0), PinEnd("mix", "InputPins", 0, Pin0), Find(Text, "!")}));
    EXPECT_EQ(P.Links[1], (TLink{ElementEnd(1, Random), PinEnd("mix", "InputPins", 1, Pin1), Find(Text, "!", Random)}));
    EXPECT_EQ(P.Links[2], (TLink{ElementEnd(2, Mixer), ElementEnd(3, Meter), Find(Text, "!", Mixer)}));
}

TEST(PipelineParser, PinReferencesOnEitherSide)
{
    TPipeline P = ParsePipeline("split.OutputPins[1] ! TSNVUMeter");
    ASSERT_EQ(P.Links.size(), 1u);
    EXPECT_EQ(P.Links[0].From, PinEnd("split", "OutputPins", 1, 0));
    EXPECT_EQ(P.Links[0].To, ElementEnd(0, 22));

    P = ParsePipeline("a.OutputPin ! b.InputPins[12]");
    EXPECT_TRUE(P.Elements.empty());
    ASSERT_EQ(P.Links.size(), 1u);
    EXPECT_EQ(P.Links[0].From.Pin(), (TPinRef{"a", "OutputPin", std::nullopt}));
    EXPECT_EQ(P.Links[0].To.Pin(), (TPinRef{"b", "InputPins", 12}));
    EXPECT_EQ(ToString(P.Links[0].To.Pin()), "b.InputPins[12]");
    EXPECT_EQ(ToString(P.Links[0].From.Pin()), "a.OutputPin");

    // A pin in the middle of a chain is both a target and a source.
    P = ParsePipeline("Gen ! d.InputPin ! Meter");
    ASSERT_EQ(P.Links.size(), 2u);
    EXPECT_EQ(P.Links[0].To, P.Links[1].From);
}

TEST(PipelineParser, SingleElementAndClassNameAsWritten)
{
    const TPipeline P = ParsePipeline("  SignalGen  ");
    ASSERT_EQ(P.Elements.size(), 1u);
    EXPECT_EQ(P.Elements[0].ClassName, "SignalGen");
    EXPECT_EQ(P.Elements[0].Position, 2u);
    EXPECT_TRUE(P.Links.empty());
}

TEST(PipelineParser, QuotedValues)
{
    const TPipeline P = ParsePipeline("Player FileName='my file.wav' Title=\"a ! b\" Empty='' Mixed='it'\"'\"'s' "
                                      "Eq=a=b Tab=\"x\ty\"");
    ASSERT_EQ(P.Elements.size(), 1u);
    const auto& S = P.Elements[0].Settings;
    ASSERT_EQ(S.size(), 6u);
    EXPECT_EQ(S[0].Value, "my file.wav");
    EXPECT_EQ(S[1].Value, "a ! b");
    EXPECT_EQ(S[2].Value, "");
    EXPECT_EQ(S[3].Value, "it's");
    EXPECT_EQ(S[4].Value, "a=b"); // only the first '=' splits
    EXPECT_EQ(S[5].Value, "x\ty");
}

TEST(PipelineParser, BangNeedsNoSpaces)
{
    const TPipeline P = ParsePipeline("A X=1!B!c.In");
    ASSERT_EQ(P.Elements.size(), 2u);
    EXPECT_EQ(P.Elements[0].Settings[0].Value, "1");
    ASSERT_EQ(P.Links.size(), 2u);
    EXPECT_EQ(P.Links[0].Position, 5u);
    EXPECT_EQ(P.Links[1].Position, 7u);
}

TEST(PipelineParser, NameIsCaseInsensitiveAndNamesMayBeUsedBeforeTheirElement)
{
    const TPipeline P = ParsePipeline("Gen ! m.InputPins[0] Mixer Name=m");
    ASSERT_EQ(P.Elements.size(), 2u);
    EXPECT_EQ(P.Elements[1].Name, "m");
    EXPECT_TRUE(P.Elements[1].Settings.empty());
}

TEST(PipelineParser, ErrorsNameTheProblemAndPosition)
{
    struct TCase {
        const char* Text;
        const char* Message;
        size_t Position;
    };
    const TCase Cases[] = {
        {"", "empty pipeline", 0},
        {" \t\n ", "empty pipeline", 0},
        {"! A", "'!' with no element before it", 0},
        {"A !", "expected an element after '!'", 2},
        {"A ! ", "expected an element after '!'", 2},
        {"A ! ! B", "doubled '!'", 4},
        {"A !! B", "doubled '!'", 3},
        {"A FileName='x", "unterminated quote", 11},
        {"A FileName=\"x' ! B", "unterminated quote", 11},
        {"Frequency=3 ! X", "setting 'Frequency=3' before any element", 0},
        {"a.OutputPin Frequency=3 ! X", "setting 'Frequency=3' after pin reference 'a.OutputPin'", 12},
        {"A ! b.In X=1", "after pin reference 'b.In'", 9},
        {"A ! X=3", "expected an element after '!', found setting 'X=3'", 4},
        {"A ! mix.InputPins[x]", "bad pin index 'x'", 4},
        {"A ! mix.InputPins[-1]", "bad pin index '-1'", 4},
        {"A ! mix.InputPins[]", "bad pin index ''", 4},
        {"A ! mix.InputPins[0", "missing ']'", 4},
        {"A ! mix.InputPins[0]x", "unexpected text after ']'", 4},
        {"A ! mix.InputPins[99999999999]", "is too large", 4},
        {"A ! .InputPin", "bad element name in pin reference", 4},
        {"A ! m.", "bad pin name", 4},
        {"A ! m.[0]", "bad pin name", 4},
        {"A ! a.b.c", "bad pin reference 'a.b.c'", 4},
        {"A =3", "empty property name", 2},
        {"A X=", "missing value in 'X='", 2},
        {"A X= ! B", "missing value", 2},
        {"A 'X'=1", "quotes are allowed only in values", 2},
        {"A X..Y=1", "bad property path 'X..Y'", 2},
        {"A X[a]=1", "bad property path", 2},
        {"A 'B'", "unexpected quoted text", 2},
        {"A ! 3Gen", "bad class name '3Gen'", 4},
        {"A ! Gen[0]", "bad class name", 4},
        {"A name=1x", "bad element name '1x'", 2},
        {"A name=''", "bad element name ''", 2},
        {"A name=m Name=n", "named twice", 9},
        {"A name=m ! B name=m", "duplicate element name 'm' (first at position 2)", 13},
        {"a.b", "pin reference 'a.b' is not linked to anything", 0},
        {"A a.b B", "pin reference 'a.b' is not linked", 2},
        {"A ! B a.b", "pin reference 'a.b' is not linked", 6},
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
            const std::string Tail = " at position " + std::to_string(C.Position);
            EXPECT_TRUE(Message.size() >= Tail.size() && Message.compare(Message.size() - Tail.size(), Tail.size(), Tail) == 0)
                << Message;
        }
    }
}

TEST(PipelineParser, MessagesStayOnOneLineAndShort)
{
    const std::string Long(500, 'x');
    try {
        ParsePipeline("A ! " + Long + ".b[z\x01]");
        FAIL();
    } catch (const TPipelineError& E) {
        const std::string Message = E.what();
        EXPECT_EQ(Message.find('\n'), std::string::npos);
        EXPECT_EQ(Message.find('\x01'), std::string::npos);
        EXPECT_LT(Message.size(), 200u) << Message;
    }
}

namespace {

// Builds random pipelines text and the parse it must give side by side.
class TPipelineMaker {
public:
    explicit TPipelineMaker(unsigned ASeed) : FRandom(ASeed) {}

    std::pair<std::string, TPipeline> Make()
    {
        FText.clear();
        FExpected = TPipeline{};
        FNameCount = 0;
        const int Chains = Pick(1, 4);
        for (int C = 0; C < Chains; ++C) {
            if (C > 0)
                FText += Pick(0, 1) ? "  " : "\n";
            const int Items = Pick(1, 4);
            std::optional<TEndpoint> Previous;
            for (int I = 0; I < Items; ++I) {
                size_t Bang = 0;
                if (Previous) {
                    FText += " ";
                    Bang = FText.size();
                    FText += "! ";
                }
                // A lone pin is an error, so only chains with links hold pins.
                TEndpoint Item = (Items > 1 && Pick(0, 2) == 0) ? MakePin() : MakeElement();
                if (Previous)
                    FExpected.Links.push_back(TLink{*Previous, Item, Bang});
                Previous = Item;
            }
        }
        return {FText, FExpected};
    }

private:
    int Pick(int ALow, int AHigh) { return std::uniform_int_distribution<int>(ALow, AHigh)(FRandom); }

    std::string Identifier()
    {
        static const char* const Words[] = {"Gen", "TSNMixer", "x", "_a1", "VUMeter", "Split2"};
        return Words[Pick(0, 5)];
    }

    TEndpoint MakePin()
    {
        TEndpoint End;
        End.Position = FText.size();
        TPinRef Pin{Identifier(), Identifier() + "Pin", std::nullopt};
        if (Pick(0, 1))
            Pin.Index = Pick(0, 1000);
        FText += ToString(Pin);
        End.Target = Pin;
        return End;
    }

    TEndpoint MakeElement()
    {
        TElement Element;
        Element.Position = FText.size();
        Element.ClassName = Identifier();
        FText += Element.ClassName;
        const int Settings = Pick(0, 3);
        const int NameAt = Pick(-1, Settings);
        for (int S = 0; S <= Settings; ++S) {
            if (S == NameAt) {
                Element.Name = "n" + std::to_string(FNameCount++);
                FText += " name=" + Element.Name;
            }
            if (S == Settings)
                break;
            static const char* const Paths[] = {"Frequency", "Channels.Count", "Channels[2].Frequency", "A.B.C"};
            static const char* const Values[] = {"440", "1e-3", "atTriangle", "my file.wav", "a ! b", "it's",
                                                 "say \"hi\"", "", "x=y", "\xC3\xA9t\xC3\xA9"};
            TSetting Setting{Paths[Pick(0, 3)], Values[Pick(0, 9)], 0};
            FText += " ";
            Setting.Position = FText.size();
            const bool NeedsQuotes = Setting.Value.empty() || Setting.Value.find_first_of(" !'\"") != std::string::npos;
            const char Quote = Setting.Value.find('\'') != std::string::npos ? '"' : '\'';
            FText += Setting.Path + "=";
            FText += NeedsQuotes ? Quote + Setting.Value + Quote : Setting.Value;
            Element.Settings.push_back(Setting);
        }
        FExpected.Elements.push_back(Element);
        return TEndpoint{FExpected.Elements.size() - 1, Element.Position};
    }

    std::mt19937 FRandom;
    std::string FText;
    TPipeline FExpected;
    int FNameCount = 0;
};

void ExpectCleanParseOrError(const std::string& AText)
{
    try {
        ParsePipeline(AText);
    } catch (const TPipelineError& E) {
        const std::string Message = E.what();
        ASSERT_EQ(Message.rfind("pipeline: ", 0), 0u) << Message;
        ASSERT_EQ(Message.find('\n'), std::string::npos) << Message;
        ASSERT_LE(E.Position(), AText.size()) << Message;
    }
}

} // namespace

TEST(PipelineParser, RandomValidPipelinesParseAsBuilt)
{
    TPipelineMaker Maker(20240611);
    for (int I = 0; I < 3000; ++I) {
        auto [Text, Expected] = Maker.Make();
        SCOPED_TRACE(Text);
        TPipeline Parsed;
        ASSERT_NO_THROW(Parsed = ParsePipeline(Text));
        ASSERT_EQ(Parsed, Expected);
    }
}

TEST(PipelineParser, RandomTextNeverCrashes)
{
    std::mt19937 Random(12345);
    const std::string Alphabet = "AB ab._=!'\"[]0-9 \t\n\x01\xff\xc3\xa9";
    for (int I = 0; I < 50000; ++I) {
        std::string Text(std::uniform_int_distribution<size_t>(0, 40)(Random), ' ');
        for (char& C : Text)
            C = Alphabet[std::uniform_int_distribution<size_t>(0, Alphabet.size() - 1)(Random)];
        SCOPED_TRACE(Text);
        ExpectCleanParseOrError(Text);
        if (HasFatalFailure())
            return;
    }
    // Whole tokens, so that the parser gets past the tokenizer more often.
    const char* const Tokens[] = {"!", "Gen", "m.In", "m.Ins[1]", "m.Ins[x", "X=1", "name=m", "name=k", "X=", "=1",
                                  "'q'", "Y='a b'", "Z=\"", "a.b.c", "3", "", " ", "!!"};
    for (int I = 0; I < 50000; ++I) {
        std::string Text;
        for (int T = std::uniform_int_distribution<int>(0, 8)(Random); T > 0; --T)
            Text += std::string(Tokens[std::uniform_int_distribution<size_t>(0, std::size(Tokens) - 1)(Random)]) + " ";
        SCOPED_TRACE(Text);
        ExpectCleanParseOrError(Text);
        if (HasFatalFailure())
            return;
    }
}
