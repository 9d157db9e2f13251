// SPDX-License-Identifier: MIT
// The entry point of the libav module: its two classes fill the rows that
// the package's catalogue keeps for them. The player and the logger are the
// package's own and reach the module's reader and writer through
// SonorixOpenLAVPlayerSource (LAVPlayerSource.cpp) and
// SonorixOpenLAVLoggerSink (LAVLoggerSink.cpp).
#include "SNLAVAudioCompressor.h"
#include "SNLAVAudioDecompressor.h"
#include "SNModule.h"

extern "C" __attribute__((visibility("default"))) int SonorixRegisterModule(int AHostApiVersion,
                                                                           Sonorix::TSNModuleRegistrar* ARegistrar)
{
    using namespace Sonorix;
    if (AHostApiVersion != CSonorixModuleApiVersion)
        return CSonorixModuleApiVersion;
    for (auto [LName, LDescribe] : {std::pair{"TSNLAVAudioCompressor", &TSNLAVAudioCompressor::ClassDescription},
                                    std::pair{"TSNLAVAudioDecompressor", &TSNLAVAudioDecompressor::ClassDescription}}) {
        TCatalogueEntry LRow = CatalogueEntry(LName);
        LRow.Describe = LDescribe;
        ARegistrar->AddClass(LRow);
    }
    return CSonorixModuleApiVersion;
}
