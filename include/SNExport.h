// SPDX-License-Identifier: MIT
// What the package library exports. It is built with hidden symbols
// (-fvisibility=hidden); every installed header opens its namespace with
// SN_API_BEGIN and closes it with SN_API_END, so what an installed header
// declares is the library's interface and nothing else is. Kernels, their
// states and the framework's own helpers live in headers under src/ and stay
// inside the library. SN_API marks a single declaration.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define SN_API __attribute__((visibility("default")))
#define SN_API_BEGIN _Pragma("GCC visibility push(default)")
#define SN_API_END _Pragma("GCC visibility pop")
#else
#define SN_API
#define SN_API_BEGIN
#define SN_API_END
#endif
