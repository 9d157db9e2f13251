// SPDX-License-Identifier: MIT
// What the Ogg and Vorbis parts of the wrapper share: the export marker and
// the zeroed structures they hand out (released with DLL_FreeStruct).
#pragma once

#include <cstdlib>

#define SN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
template <class T>
void* NewZeroed()
{
    return std::calloc(1, sizeof(T));
}
} // namespace
