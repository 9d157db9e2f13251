// SPDX-License-Identifier: MIT
// The functions of a library opened with dlopen, bound by name.
#pragma once

#include <dlfcn.h>

namespace Sonorix {

// Points AFunction at the symbol AName of the library AHandle; false when the
// library has no such symbol.
template <class TFunction>
bool BindSymbol(void* AHandle, TFunction*& AFunction, const char* AName)
{
    AFunction = reinterpret_cast<TFunction*>(dlsym(AHandle, AName));
    return AFunction != nullptr;
}

} // namespace Sonorix
