// SPDX-License-Identifier: MIT
#include "JsonLine.h"

#include <charconv>
#include <cmath>

namespace Sonorix::Cli {

namespace {

// Length of the well-formed UTF-8 sequence at AText[APos], 0 if there is none
// (overlong forms, surrogates and code points past U+10FFFF included).
size_t Utf8Length(std::string_view AText, size_t APos)
{
    auto At = [&](size_t I) { return static_cast<unsigned char>(AText[I]); };
    const unsigned char Lead = At(APos);
    if (Lead < 0x80)
        return 1;
    size_t Length = 0;
    unsigned char Low = 0x80, High = 0xBF; // range of the second byte
    if (Lead >= 0xC2 && Lead <= 0xDF)
        Length = 2;
    else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Length = 3;
        if (Lead == 0xE0)
            Low = 0xA0;
        else if (Lead == 0xED)
            High = 0x9F;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Length = 4;
        if (Lead == 0xF0)
            Low = 0x90;
        else if (Lead == 0xF4)
            High = 0x8F;
    } else
        return 0;
    if (APos + Length > AText.size())
        return 0;
    if (At(APos + 1) < Low || At(APos + 1) > High)
        return 0;
    for (size_t I = 2; I < Length; ++I)
        if ((At(APos + I) & 0xC0) != 0x80)
            return 0;
    return Length;
}

} // namespace

std::string ValidUtf8(std::string_view AText)
{
    std::string Result;
    Result.reserve(AText.size());
    for (size_t I = 0; I < AText.size();) {
        const size_t Length = Utf8Length(AText, I);
        if (Length == 0) {
            Result += "\xEF\xBF\xBD";
            ++I;
        } else {
            Result.append(AText.substr(I, Length));
            I += Length;
        }
    }
    return Result;
}

std::string JsonQuote(std::string_view AText)
{
    static constexpr char Hex[] = "0123456789abcdef";
    const std::string Valid = ValidUtf8(AText);
    std::string Result;
    Result.reserve(Valid.size() + 2);
    Result += '"';
    for (char C : Valid) {
        const auto U = static_cast<unsigned char>(C);
        if (C == '"' || C == '\\') {
            Result += '\\';
            Result += C;
        } else if (U < 0x20) {
            Result += "\\u00";
            Result += Hex[U >> 4];
            Result += Hex[U & 0xF];
        } else {
            Result += C;
        }
    }
    Result += '"';
    return Result;
}

void TJsonLine::Key(std::string_view AKey)
{
    if (FText.size() > 1)
        FText += ',';
    FText += JsonQuote(AKey);
    FText += ':';
}

TJsonLine& TJsonLine::Add(std::string_view AKey, std::string_view AValue)
{
    Key(AKey);
    FText += JsonQuote(AValue);
    return *this;
}

namespace {
void AppendNumber(std::string& AText, double AValue)
{
    if (!std::isfinite(AValue)) {
        AText += "null";
        return;
    }
    // to_chars without a precision gives the shortest round-trip form, and
    // its "1e+20" / "-0" spellings are valid JSON numbers.
    char Buffer[32];
    auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof(Buffer), AValue);
    (void)Error; // 32 bytes hold any double
    AText.append(Buffer, End);
}
} // namespace

TJsonLine& TJsonLine::Add(std::string_view AKey, double AValue)
{
    Key(AKey);
    AppendNumber(FText, AValue);
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view AKey, const std::vector<double>& AValues)
{
    Key(AKey);
    FText += '[';
    for (size_t i = 0; i < AValues.size(); ++i) {
        if (i > 0)
            FText += ',';
        AppendNumber(FText, AValues[i]);
    }
    FText += ']';
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view AKey, bool AValue)
{
    Key(AKey);
    FText += AValue ? "true" : "false";
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view AKey, int64_t AValue)
{
    Key(AKey);
    FText += std::to_string(AValue);
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view AKey, uint64_t AValue)
{
    Key(AKey);
    FText += std::to_string(AValue);
    return *this;
}

TJsonLine& TJsonLine::AddNull(std::string_view AKey)
{
    Key(AKey);
    FText += "null";
    return *this;
}

} // namespace Sonorix::Cli
