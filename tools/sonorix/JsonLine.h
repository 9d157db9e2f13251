// SPDX-License-Identifier: MIT
// One JSON object per line, for `--events`:
//
//   TJsonLine L;
//   L.Add("time", 0.5).Add("component", "VUMeter1").Add("channel", 0);
//   std::puts(L.Str().c_str());   // {"time":0.5,"component":"VUMeter1","channel":0}
//
// Keys are written in the order added; the caller keeps them unique.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace Sonorix::Cli {

class TJsonLine {
public:
    // Strings are UTF-8; bytes that are not valid UTF-8 become U+FFFD so the
    // line stays valid JSON whatever a file name holds.
    TJsonLine& Add(std::string_view AKey, std::string_view AValue);
    TJsonLine& Add(std::string_view AKey, const char* AValue) { return Add(AKey, std::string_view(AValue)); }
    TJsonLine& Add(std::string_view AKey, const std::string& AValue) { return Add(AKey, std::string_view(AValue)); }
    // Shortest text that reads back to the same double; NaN and infinities
    // have no JSON form and are written as null.
    TJsonLine& Add(std::string_view AKey, double AValue);
    TJsonLine& Add(std::string_view AKey, bool AValue);
    TJsonLine& Add(std::string_view AKey, int64_t AValue);
    TJsonLine& Add(std::string_view AKey, uint64_t AValue);
    // Any other integer type, without the int/double ambiguity.
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, int64_t> && !std::same_as<T, uint64_t>)
    TJsonLine& Add(std::string_view AKey, T AValue)
    {
        if constexpr (std::is_signed_v<T>)
            return Add(AKey, static_cast<int64_t>(AValue));
        else
            return Add(AKey, static_cast<uint64_t>(AValue));
    }
    TJsonLine& AddNull(std::string_view AKey);
    // An array of numbers, each written as Add writes a double.
    TJsonLine& Add(std::string_view AKey, const std::vector<double>& AValues);

    // The object, without a trailing newline.
    std::string Str() const { return FText + "}"; }

private:
    void Key(std::string_view AKey);

    std::string FText = "{";
};

// AText as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view AText);

// AText with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view AText);

} // namespace Sonorix::Cli
