// SPDX-License-Identifier: MIT
#include "codecs/SNSpeex.h"

#include "SNTypes.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace Sonorix {

namespace {
std::atomic<void*> SpeexLibrary{nullptr};
std::mutex SpeexLibraryMutex;
} // namespace

void* SNSpeex::GetLibrary()
{
    return LoadWrapperLibrary(SpeexLibrary, SpeexLibraryMutex, "libSpeexDLL.so", "Can't load SpeexDLL.dll");
}

void* SNSpeex::GetProcAddress(const char* AName)
{
    void* LAddress = dlsym(GetLibrary(), AName);
    if (!LAddress)
        throw EDGDLLLoadError(std::string("Can't get ") + AName);
    return LAddress;
}

#define SN_DEFINE_SPEEX_AUXILIARY(AName, AExport, AType)                                                               \
    namespace {                                                                                                        \
    constexpr char AName##_Export_[] = #AExport;                                                                       \
    }                                                                                                                  \
    TLibraryFunction<AType> AName{&TLibraryFunction<AType>::Stub<AName, AName##_Export_, &SNSpeex::GetProcAddress>};   \
    const TLibraryFunction<AType>::TFunction AName##_Init_ =                                                           \
        &TLibraryFunction<AType>::Stub<AName, AName##_Export_, &SNSpeex::GetProcAddress>;
#define SN_DEFINE_SPEEX_FUNCTION(AName) SN_DEFINE_SPEEX_AUXILIARY(AName, AName, decltype(&::AName))
SN_SPEEX_AUXILIARY(SN_DEFINE_SPEEX_AUXILIARY)
SN_SPEEX_FUNCTIONS(SN_DEFINE_SPEEX_FUNCTION)

} // namespace Sonorix
