// SPDX-License-Identifier: MIT
#include "CliError.h"

#include <cstdio>

namespace Sonorix::Cli {

namespace {

constexpr size_t CLongName = 120;
constexpr size_t CKeptEnd = 56;

std::string Escaped(std::string_view AText)
{
    std::string LResult;
    LResult.reserve(AText.size());
    for (const char C : AText) {
        const auto U = static_cast<unsigned char>(C);
        if (C == '\n')
            LResult += "\\n";
        else if (C == '\t')
            LResult += "\\t";
        else if (U < 0x20 || U == 0x7f) {
            char LCode[5];
            std::snprintf(LCode, sizeof LCode, "\\x%02x", U);
            LResult += LCode;
        } else
            LResult += C;
    }
    return LResult;
}

bool IsContinuation(char C)
{
    return (static_cast<unsigned char>(C) & 0xC0) == 0x80;
}

// The start and end of a long text with "..." between, cut between UTF-8
// characters.
std::string Shortened(std::string_view AText)
{
    if (AText.size() <= CLongName)
        return std::string(AText);
    size_t LHead = CKeptEnd, LTail = AText.size() - CKeptEnd;
    while (LHead > 0 && IsContinuation(AText[LHead]))
        --LHead;
    while (LTail < AText.size() && IsContinuation(AText[LTail]))
        ++LTail;
    return std::string(AText.substr(0, LHead)) + "..." + std::string(AText.substr(LTail));
}

} // namespace

std::string DisplayName(std::string_view AName)
{
    return "'" + Escaped(Shortened(AName)) + "'";
}

std::string DisplayLine(std::string_view ALine)
{
    std::string LResult;
    size_t LPos = 0;
    while (LPos < ALine.size()) {
        const size_t LOpen = ALine.find('\'', LPos);
        const size_t LClose = LOpen == std::string_view::npos ? LOpen : ALine.find('\'', LOpen + 1);
        if (LClose == std::string_view::npos) {
            LResult += Escaped(ALine.substr(LPos));
            break;
        }
        LResult += Escaped(ALine.substr(LPos, LOpen - LPos));
        LResult += DisplayName(ALine.substr(LOpen + 1, LClose - LOpen - 1));
        LPos = LClose + 1;
    }
    return LResult;
}

} // namespace Sonorix::Cli
