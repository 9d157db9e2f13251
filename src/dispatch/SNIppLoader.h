// SPDX-License-Identifier: MIT
// Finds the IPP signal and image libraries on the machine (once per process)
// and looks exports up in them. Internal to the dispatch units.
#pragma once

namespace Sonorix::SNIppLoader {

// dlopen handle of the first signal (image) library that loads, or null.
void* SignalLibrary();
void* ImageLibrary();

// The export of that name in the signal (image) library, or null.
void* GetIPPSProcAddress(const char* AName);
void* GetIPPIProcAddress(const char* AName);

} // namespace Sonorix::SNIppLoader
