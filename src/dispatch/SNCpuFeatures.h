// SPDX-License-Identifier: MIT
// glibc's CPU feature queries (CPU_FEATURE_ACTIVE). Its header declares them
// with C's _Bool, which clang does not take in C++ (GCC does).
#pragma once

#if defined(__clang__) && !defined(_Bool)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
