// SPDX-License-Identifier: MIT
// The description of a class that publishes nothing but its name, for the
// helpers of tools and tests that own pins:
//
//   static const TClassDescription& ClassDescription() { return PlainClassDescription<"TFeeder">(); }
#pragma once

#include "SNExport.h"

#include "CVPersistent.h"

#include <cstddef>

namespace Sonorix {
SN_API_BEGIN

// A class name as a template argument.
template <size_t N>
struct TClassNameLiteral {
    char Value[N];
    constexpr TClassNameLiteral(const char (&AName)[N])
    {
        for (size_t I = 0; I < N; ++I)
            Value[I] = AName[I];
    }
};

template <TClassNameLiteral AName>
const TClassDescription& PlainClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = AName.Value;
        return LClass;
    }();
    return LDescription;
}

SN_API_END
} // namespace Sonorix
