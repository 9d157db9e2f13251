// SPDX-License-Identifier: MIT
#include "JsonLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Sonorix::Cli;

namespace {

std::string One(std::string_view AKey, auto AValue)
{
    return TJsonLine().Add(AKey, AValue).Str();
}

} // namespace

TEST(JsonLine, EscapesStrings)
{
    EXPECT_EQ(One("s", "say \"hi\""), R"({"s":"say \"hi\""})");
    EXPECT_EQ(One("s", "C:\\dir\\"), R"({"s":"C:\\dir\\"})");
    EXPECT_EQ(One("s", "a\nb\tc\rd"), R"({"s":"a\u000ab\u0009c\u000dd"})");
    EXPECT_EQ(One("s", std::string_view("\x00\x01\x1f\x20", 4)), R"({"s":"\u0000\u0001\u001f "})");
    EXPECT_EQ(One("s", "/ \x7f"), "{\"s\":\"/ \x7f\"}"); // JSON needs neither escaped
    EXPECT_EQ(One("k\"\n", "v"), R"({"k\"\u000a":"v"})");
}

TEST(JsonLine, PassesUtf8AndRepairsBrokenBytes)
{
    const char* Text = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"; // "été € 🎵"
    EXPECT_EQ(One("s", Text), std::string("{\"s\":\"") + Text + "\"}");
    const std::string Replacement = "\xEF\xBF\xBD";
    struct TCase {
        const char* In;
        std::string Out;
    };
    const TCase Cases[] = {
        {"a\xFF" "b", "a" + Replacement + "b"},
        {"\xE2\x82", Replacement + Replacement},                             // cut short
        {"\xC0\xAF", Replacement + Replacement},                             // overlong '/'
        {"\xED\xA0\x80", Replacement + Replacement + Replacement},           // surrogate
        {"\xF4\x90\x80\x80", Replacement + Replacement + Replacement + Replacement}, // past U+10FFFF
        {"\x80", Replacement},
    };
    for (const TCase& C : Cases) {
        EXPECT_EQ(ValidUtf8(C.In), C.Out) << C.In;
        EXPECT_EQ(One("s", C.In), "{\"s\":\"" + C.Out + "\"}");
    }
}

TEST(JsonLine, NumbersAndBooleans)
{
    EXPECT_EQ(One("x", 440.0), R"({"x":440})");
    EXPECT_EQ(One("x", 0.1), R"({"x":0.1})");
    EXPECT_EQ(One("x", -2.5e-7), R"({"x":-2.5e-07})");
    EXPECT_EQ(One("x", 1e20), R"({"x":1e+20})");
    EXPECT_EQ(One("x", -0.0), R"({"x":-0})");
    EXPECT_EQ(One("x", 0.1f), R"({"x":0.10000000149011612})"); // a float is widened exactly
    EXPECT_EQ(One("x", std::nan("")), R"({"x":null})");
    EXPECT_EQ(One("x", std::numeric_limits<double>::infinity()), R"({"x":null})");
    EXPECT_EQ(One("x", true), R"({"x":true})");
    EXPECT_EQ(One("x", -7), R"({"x":-7})");
    EXPECT_EQ(One("x", std::numeric_limits<int64_t>::min()), R"({"x":-9223372036854775808})");
    EXPECT_EQ(One("x", std::numeric_limits<int64_t>::max()), R"({"x":9223372036854775807})");
    EXPECT_EQ(One("x", std::numeric_limits<uint64_t>::max()), R"({"x":18446744073709551615})");
    EXPECT_EQ(One("x", static_cast<unsigned char>(200)), R"({"x":200})");
    EXPECT_EQ(TJsonLine().AddNull("x").Str(), R"({"x":null})");
    EXPECT_EQ(TJsonLine().Str(), "{}");
}
