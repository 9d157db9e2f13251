// SPDX-License-Identifier: MIT
// The entry point of the libav module: its three classes fill the rows that
// the package's catalogue keeps for them. The player is the package's own
// and reaches the module's reader through SonorixOpenLAVPlayerSource
// (LAVPlayerSource.cpp).
#include "SNLAVAudioCompressor.h"
#include "SNLAVAudioDecompressor.h"
#include "SNLAVAudioLogger.h"
#include "SNModule.h"

extern "C" __attribute__((visibility("default"))) int SonorixRegisterModule(int AHostApiVersion,
                                                                           Sonorix::TSNModuleRegistrar* ARegistrar)
{
    using namespace Sonorix;
    if (AHostApiVersion != CSonorixModuleApiVersion)
        return CSonorixModuleApiVersion;
    for (auto [LName, LDescribe] : {std::pair{"TSNLAVAudioCompressor", &TSNLAVAudioCompressor::ClassDescription},
                                    std::pair{"TSNLAVAudioDecompressor", &TSNLAVAudioDecompressor::ClassDescription},
                                    std::pair{"TSNLAVAudioLogger", &TSNLAVAudioLogger::ClassDescription}}) {
        TCatalogueEntry LRow = CatalogueEntry(LName);
        LRow.Describe = LDescribe;
        ARegistrar->AddClass(LRow);
    }
    return CSonorixModuleApiVersion;
}
