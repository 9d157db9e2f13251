// SPDX-License-Identifier: MIT
#include "PipelineParser.h"

#include <charconv>
#include <map>
#include <system_error>

namespace Sonorix::Cli {

namespace {

// One word of the text, quotes already removed. Key/Value are split at the
// first unquoted '='; Raw is the word as written, for messages.
struct TToken {
    bool Bang = false;
    size_t Position = 0;
    std::string_view Raw;
    bool HasEquals = false;
    std::string Key;   // the whole word when there is no '='
    std::string Value;
    bool QuotedKey = false;
    bool QuotedValue = false;
};

[[noreturn]] void Fail(const std::string& AWhat, size_t APosition)
{
    throw TPipelineError("pipeline: " + AWhat + " at position " + std::to_string(APosition), APosition);
}

// Text quoted into a one-line message: control bytes become '?', long words
// are cut at a UTF-8 boundary.
std::string Show(std::string_view AText)
{
    constexpr size_t MaxShown = 40;
    bool Cut = false;
    if (AText.size() > MaxShown) {
        size_t End = MaxShown;
        while (End > 0 && (static_cast<unsigned char>(AText[End]) & 0xC0) == 0x80)
            --End;
        AText = AText.substr(0, End);
        Cut = true;
    }
    std::string Result = "'";
    for (char C : AText) {
        auto U = static_cast<unsigned char>(C);
        Result += (U < 0x20 || U == 0x7F) ? '?' : C;
    }
    if (Cut)
        Result += "...";
    return Result + "'";
}

bool IsSpace(char C)
{
    return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\v' || C == '\f';
}

bool IsIdentStart(char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
}

bool IsIdentChar(char C)
{
    return IsIdentStart(C) || (C >= '0' && C <= '9');
}

bool IsIdentifier(std::string_view A)
{
    if (A.empty() || !IsIdentStart(A[0]))
        return false;
    for (char C : A)
        if (!IsIdentChar(C))
            return false;
    return true;
}

bool IsDigits(std::string_view A)
{
    if (A.empty())
        return false;
    for (char C : A)
        if (C < '0' || C > '9')
            return false;
    return true;
}

bool EqualsNoCase(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (size_t I = 0; I < A.size(); ++I) {
        char X = A[I], Y = B[I];
        if (X >= 'A' && X <= 'Z')
            X = static_cast<char>(X - 'A' + 'a');
        if (Y >= 'A' && Y <= 'Z')
            Y = static_cast<char>(Y - 'A' + 'a');
        if (X != Y)
            return false;
    }
    return true;
}

// "Name" or "Name[123]".
bool IsPathSegment(std::string_view A)
{
    size_t Open = A.find('[');
    if (Open == std::string_view::npos)
        return IsIdentifier(A);
    return IsIdentifier(A.substr(0, Open)) && A.back() == ']' && Open + 2 < A.size() &&
           IsDigits(A.substr(Open + 1, A.size() - Open - 2));
}

// Property paths: segments joined by '.', e.g. "Channels[2].Frequency".
bool IsPropertyPath(std::string_view A)
{
    for (;;) {
        size_t Dot = A.find('.');
        if (!IsPathSegment(A.substr(0, Dot)))
            return false;
        if (Dot == std::string_view::npos)
            return true;
        A.remove_prefix(Dot + 1);
    }
}

std::vector<TToken> Tokenize(std::string_view AText)
{
    std::vector<TToken> Tokens;
    size_t I = 0;
    const size_t N = AText.size();
    while (I < N) {
        if (IsSpace(AText[I])) {
            ++I;
            continue;
        }
        // '#' at the start of a word begins a comment that runs to the end
        // of the line (stored graphs carry them; a shell strips its own).
        if (AText[I] == '#') {
            while (I < N && AText[I] != '\n')
                ++I;
            continue;
        }
        TToken T;
        T.Position = I;
        if (AText[I] == '!') {
            T.Bang = true;
            T.Raw = AText.substr(I, 1);
            ++I;
            Tokens.push_back(std::move(T));
            continue;
        }
        // A word runs to whitespace or an unquoted '!'; quoted runs may hold both
        // and are glued to their neighbours, as in a shell.
        while (I < N && !IsSpace(AText[I]) && AText[I] != '!') {
            char C = AText[I];
            std::string& Part = T.HasEquals ? T.Value : T.Key;
            if (C == '\'' || C == '"') {
                size_t Close = AText.find(C, I + 1);
                if (Close == std::string_view::npos)
                    Fail("unterminated quote", I);
                Part.append(AText.substr(I + 1, Close - I - 1));
                (T.HasEquals ? T.QuotedValue : T.QuotedKey) = true;
                I = Close + 1;
            } else if (C == '=' && !T.HasEquals) {
                T.HasEquals = true;
                ++I;
            } else {
                Part += C;
                ++I;
            }
        }
        T.Raw = AText.substr(T.Position, I - T.Position);
        Tokens.push_back(std::move(T));
    }
    return Tokens;
}

TPinRef ParsePinRef(const TToken& AToken)
{
    const std::string& W = AToken.Key;
    const size_t Dot = W.find('.');
    TPinRef Pin;
    Pin.Element = W.substr(0, Dot);
    if (!IsIdentifier(Pin.Element))
        Fail("bad element name in pin reference " + Show(W), AToken.Position);
    std::string_view Rest = std::string_view(W).substr(Dot + 1);
    if (Rest.find('.') != std::string_view::npos)
        Fail("bad pin reference " + Show(W) + " (expected element.Pin or element.Pins[i])", AToken.Position);
    const size_t Open = Rest.find('[');
    Pin.Pin = std::string(Rest.substr(0, Open));
    if (!IsIdentifier(Pin.Pin))
        Fail("bad pin name in pin reference " + Show(W), AToken.Position);
    if (Open == std::string_view::npos)
        return Pin;
    const size_t Close = Rest.find(']', Open);
    if (Close == std::string_view::npos)
        Fail("missing ']' in pin reference " + Show(W), AToken.Position);
    if (Close + 1 != Rest.size())
        Fail("unexpected text after ']' in pin reference " + Show(W), AToken.Position);
    const std::string_view IndexText = Rest.substr(Open + 1, Close - Open - 1);
    if (!IsDigits(IndexText))
        Fail("bad pin index " + Show(IndexText) + " in " + Show(W) + " (expected a non-negative integer)",
             AToken.Position);
    int Index = 0;
    auto [End, Error] = std::from_chars(IndexText.data(), IndexText.data() + IndexText.size(), Index);
    if (Error != std::errc() || End != IndexText.data() + IndexText.size())
        Fail("pin index " + Show(IndexText) + " in " + Show(W) + " is too large", AToken.Position);
    Pin.Index = Index;
    return Pin;
}

class TParser {
public:
    TPipeline Run(std::string_view AText)
    {
        for (const TToken& T : Tokenize(AText)) {
            if (T.Bang)
                OnBang(T);
            else if (T.HasEquals)
                OnSetting(T);
            else
                OnItem(T);
        }
        switch (FState) {
        case TState::Start:
            Fail("empty pipeline", 0);
        case TState::AfterBang:
            Fail("expected an element after '!'", FBangPosition);
        case TState::AfterItem:
            CheckPreviousLinked();
            break;
        }
        return std::move(FPipeline);
    }

private:
    enum class TState { Start, AfterItem, AfterBang };

    void OnBang(const TToken& AToken)
    {
        if (FState == TState::Start)
            Fail("'!' with no element before it", AToken.Position);
        if (FState == TState::AfterBang)
            Fail("doubled '!' (expected an element after the '!' at position " + std::to_string(FBangPosition) + ")",
                 AToken.Position);
        FState = TState::AfterBang;
        FBangPosition = AToken.Position;
    }

    void OnSetting(const TToken& AToken)
    {
        if (FState == TState::Start)
            Fail("setting " + Show(AToken.Raw) + " before any element", AToken.Position);
        if (FState == TState::AfterBang)
            Fail("expected an element after '!', found setting " + Show(AToken.Raw), AToken.Position);
        if (FPrevious.IsPin())
            Fail("setting " + Show(AToken.Raw) + " after pin reference " + Show(ToString(FPrevious.Pin())),
                 AToken.Position);
        if (AToken.QuotedKey)
            Fail("quotes are allowed only in values: " + Show(AToken.Raw), AToken.Position);
        if (AToken.Key.empty())
            Fail("empty property name in " + Show(AToken.Raw), AToken.Position);
        if (AToken.Value.empty() && !AToken.QuotedValue)
            Fail("missing value in " + Show(AToken.Raw) + " (an empty value is written '')", AToken.Position);
        // "Path@SECONDS=Value": the setting is applied at that audio time.
        std::string LKey = AToken.Key;
        std::optional<double> LAt;
        if (size_t LAtSign = LKey.find('@'); LAtSign != std::string::npos) {
            const std::string LTime = LKey.substr(LAtSign + 1);
            LKey.resize(LAtSign);
            double LSeconds = 0;
            const auto [End, Error] = std::from_chars(LTime.data(), LTime.data() + LTime.size(), LSeconds);
            if (LTime.empty() || Error != std::errc() || End != LTime.data() + LTime.size() || !(LSeconds >= 0) ||
                LSeconds > 1e9)
                Fail("bad time " + Show(LTime) + " in " + Show(AToken.Raw) +
                         " (expected seconds of audio, such as Enabled@1.5=false)",
                     AToken.Position);
            LAt = LSeconds;
        }
        if (!IsPropertyPath(LKey))
            Fail("bad property path " + Show(LKey), AToken.Position);

        TElement& Element = FPipeline.Elements[FPrevious.ElementIndex()];
        if (EqualsNoCase(LKey, "name") && LAt)
            Fail("an element's name cannot change at a time: " + Show(AToken.Raw), AToken.Position);
        if (EqualsNoCase(AToken.Key, "name")) {
            if (!IsIdentifier(AToken.Value))
                Fail("bad element name " + Show(AToken.Value) + " (expected letters, digits and '_')",
                     AToken.Position);
            if (!Element.Name.empty())
                Fail("element " + Show(Element.ClassName) + " named twice", AToken.Position);
            auto [It, Inserted] = FNames.emplace(AToken.Value, AToken.Position);
            if (!Inserted)
                Fail("duplicate element name " + Show(AToken.Value) + " (first at position " +
                         std::to_string(It->second) + ")",
                     AToken.Position);
            Element.Name = AToken.Value;
            return;
        }
        Element.Settings.push_back(TSetting{LKey, AToken.Value, AToken.Position, LAt});
    }

    void OnItem(const TToken& AToken)
    {
        if (AToken.QuotedKey)
            Fail("unexpected quoted text " + Show(AToken.Raw) + " (quotes are allowed only in values)",
                 AToken.Position);
        TEndpoint Endpoint;
        Endpoint.Position = AToken.Position;
        if (AToken.Key.find('.') != std::string::npos) {
            Endpoint.Target = ParsePinRef(AToken);
        } else {
            if (!IsIdentifier(AToken.Key))
                Fail("bad class name " + Show(AToken.Key), AToken.Position);
            Endpoint.Target = FPipeline.Elements.size();
            FPipeline.Elements.push_back(TElement{AToken.Key, {}, {}, AToken.Position});
        }

        bool Linked = false;
        if (FState == TState::AfterBang) {
            FPipeline.Links.push_back(TLink{FPrevious, Endpoint, FBangPosition});
            Linked = true;
        } else if (FState == TState::AfterItem) {
            CheckPreviousLinked(); // a new chain starts here
        }
        FPrevious = std::move(Endpoint);
        FPreviousLinked = Linked;
        FState = TState::AfterItem;
    }

    // Called at the end of a chain, so FPrevious is its last item: a pin that
    // is not the target of a link is a chain of its own, almost surely a typo.
    void CheckPreviousLinked() const
    {
        if (FPrevious.IsPin() && !FPreviousLinked)
            Fail("pin reference " + Show(ToString(FPrevious.Pin())) + " is not linked to anything",
                 FPrevious.Position);
    }

    TPipeline FPipeline;
    TState FState = TState::Start;
    TEndpoint FPrevious;
    bool FPreviousLinked = false;
    size_t FBangPosition = 0;
    std::map<std::string, size_t, std::less<>> FNames;
};

} // namespace

std::string ToString(const TPinRef& APin)
{
    std::string Result = APin.Element + "." + APin.Pin;
    if (APin.Index)
        Result += "[" + std::to_string(*APin.Index) + "]";
    return Result;
}

TPipeline ParsePipeline(std::string_view AText)
{
    return TParser().Run(AText);
}

} // namespace Sonorix::Cli
