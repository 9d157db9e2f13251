// SPDX-License-Identifier: MIT
// Parses the pipeline text of `sonorix run` into plain data. Nothing here knows
// the registry: class names, property paths and element names are checked for
// form only, and resolved by the builder.
//
//   TPipeline P = ParsePipeline("TSNSignalGen Frequency=440 ! mix.InputPins[0]");
//   // P.Elements[0].ClassName == "TSNSignalGen", P.Links[0].To.Pin().Index == 0
//
// A word that starts with '#' begins a comment running to the end of the line.
// Every Position is a 0-based byte offset into the text given to ParsePipeline.
#pragma once

#include "SNExport.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Sonorix::Cli {
// Not installed, but exported: the package's own tool, module and probes
// call it across the library's edge.
SN_API_BEGIN

// A syntax error; the message is one line ending with "at position N".
class TPipelineError : public std::runtime_error {
public:
    TPipelineError(const std::string& AMessage, size_t APosition)
        : std::runtime_error(AMessage), FPosition(APosition) {}
    size_t Position() const noexcept { return FPosition; }

private:
    size_t FPosition;
};

// One named pin: "mix.InputPins[0]" is {"mix", "InputPins", 0},
// "split.OutputPin" is {"split", "OutputPin", none}.
struct TPinRef {
    std::string Element;
    std::string Pin;
    std::optional<int> Index;
    friend bool operator==(const TPinRef&, const TPinRef&) = default;
};

// "mix.InputPins[0]" / "split.OutputPin", for messages.
std::string ToString(const TPinRef& APin);

// "Channels[1].Coefficient=0.25": Path "Channels[1].Coefficient", Value "0.25"
// with quotes removed; Position is where the setting starts. "Enabled@1.5=false"
// sets At to 1.5: the value is applied at that audio time, in seconds.
struct TSetting {
    TSetting() = default;
    TSetting(std::string APath, std::string AValue, size_t APosition, std::optional<double> AAt = std::nullopt)
        : Path(std::move(APath)), Value(std::move(AValue)), Position(APosition), At(AAt) {}
    std::string Path;
    std::string Value;
    size_t Position = 0;
    std::optional<double> At;
    friend bool operator==(const TSetting&, const TSetting&) = default;
};

// An element as written: ClassName keeps an omitted "TSN" prefix omitted; Name
// comes from name= and is empty when the builder has to make one up.
struct TElement {
    std::string ClassName;
    std::string Name;
    std::vector<TSetting> Settings;
    size_t Position = 0;
    friend bool operator==(const TElement&, const TElement&) = default;
};

// One side of a link: an element (meaning its primary pin on that side) given
// as an index into TPipeline::Elements, or an explicit pin.
struct TEndpoint {
    std::variant<size_t, TPinRef> Target;
    size_t Position = 0;

    bool IsPin() const noexcept { return std::holds_alternative<TPinRef>(Target); }
    size_t ElementIndex() const { return std::get<size_t>(Target); }
    const TPinRef& Pin() const { return std::get<TPinRef>(Target); }
    friend bool operator==(const TEndpoint&, const TEndpoint&) = default;
};

// "From ! To"; Position is that of the '!'.
struct TLink {
    TEndpoint From;
    TEndpoint To;
    size_t Position = 0;
    friend bool operator==(const TLink&, const TLink&) = default;
};

// Elements in the order written; links in the order of their '!'.
struct TPipeline {
    std::vector<TElement> Elements;
    std::vector<TLink> Links;
    friend bool operator==(const TPipeline&, const TPipeline&) = default;
};

// Throws TPipelineError on any malformed text; never anything else but
// std::bad_alloc.
TPipeline ParsePipeline(std::string_view AText);

SN_API_END
} // namespace Sonorix::Cli
