// SPDX-License-Identifier: MIT
#include "SNIppLoader.h"

#include <dlfcn.h>

namespace Sonorix::SNIppLoader {

namespace {

// Unversioned development names first, then the run-time names of the
// releases that still export the functions of the table. The dynamic loader
// searches its usual path (LD_LIBRARY_PATH, the caller's RUNPATH, ld.so.cache).
constexpr const char* CSignalNames[] = {"libipps.so", "libipps.so.10", "libipps.so.9", "libipps.so.8",
                                        "libipps.so.7"};
constexpr const char* CImageNames[] = {"libippi.so", "libippi.so.10", "libippi.so.9", "libippi.so.8",
                                       "libippi.so.7"};

template <int ACount>
void* OpenFirst(const char* const (&ANames)[ACount])
{
    for (const char* LName : ANames)
        // Never closed: the table keeps addresses into it for the process's life.
        if (void* LHandle = dlopen(LName, RTLD_NOW | RTLD_LOCAL))
            return LHandle;
    return nullptr;
}

void* Lookup(void* AHandle, const char* AName)
{
    return AHandle != nullptr && AName != nullptr ? dlsym(AHandle, AName) : nullptr;
}

} // namespace

void* SignalLibrary()
{
    static void* const LHandle = OpenFirst(CSignalNames);
    return LHandle;
}

void* ImageLibrary()
{
    static void* const LHandle = OpenFirst(CImageNames);
    return LHandle;
}

void* GetIPPSProcAddress(const char* AName)
{
    return Lookup(SignalLibrary(), AName);
}

void* GetIPPIProcAddress(const char* AName)
{
    return Lookup(ImageLibrary(), AName);
}

} // namespace Sonorix::SNIppLoader
