// SPDX-License-Identifier: MIT
// A module that registers a class the package has already: loading it must
// fail and change nothing.
#include "SNAmplifier.h"
#include "SNModule.h"

extern "C" __attribute__((visibility("default"))) int SonorixRegisterModule(int AHostApiVersion,
                                                                           Sonorix::TSNModuleRegistrar* ARegistrar)
{
    using namespace Sonorix;
    ARegistrar->AddClass({"SNClashOne", "TSNClashOne", TPaletteCategory::pcFilters, "Clash", &TSNAmplifier::ClassDescription});
    ARegistrar->AddClass({"SNAmplifier", "TSNAmplifier", TPaletteCategory::pcFilters, "Amplifier again",
                          &TSNAmplifier::ClassDescription});
    return AHostApiVersion;
}
