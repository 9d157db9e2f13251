// SPDX-License-Identifier: MIT
#include "codecs/SNSpeex.h"

#include "SNTypes.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace Sonorix {

namespace {
constexpr const char* CLibraryFileName = "libSpeexDLL.so";

std::atomic<void*> SpeexLibrary{nullptr};
std::mutex SpeexLibraryMutex;

// The wrapper sits next to the package library (build tree and installed).
std::string LibraryPath()
{
    Dl_info LInfo{};
    if (dladdr(reinterpret_cast<void*>(&LibraryPath), &LInfo) == 0 || LInfo.dli_fname == nullptr)
        return CLibraryFileName;
    std::string LPath = LInfo.dli_fname;
    const auto LSlash = LPath.rfind('/');
    return LSlash == std::string::npos ? CLibraryFileName : LPath.substr(0, LSlash + 1) + CLibraryFileName;
}
} // namespace

void* SNSpeex::GetLibrary()
{
    if (void* LHandle = SpeexLibrary.load(std::memory_order_acquire))
        return LHandle;
    std::lock_guard LGuard(SpeexLibraryMutex);
    void* LHandle = SpeexLibrary.load(std::memory_order_relaxed);
    if (!LHandle) {
        LHandle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!LHandle)
            throw EDGDLLLoadError("Can't load SpeexDLL.dll");
        SpeexLibrary.store(LHandle, std::memory_order_release);
    }
    return LHandle;
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
