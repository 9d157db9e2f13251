// SPDX-License-Identifier: MIT
#include "SNVorbisOgg.h"

#include "SNTypes.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace Sonorix {

namespace {
constexpr const char* CLibraryFileName = "libVorbisDLL.so";

std::atomic<void*> OggLibrary{nullptr};
std::mutex OggLibraryMutex;

// The wrapper sits next to the package library, in the build tree and once
// installed; that folder is found from an address inside this library.
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

void* GetLibrary()
{
    if (void* LHandle = OggLibrary.load(std::memory_order_acquire))
        return LHandle;
    std::lock_guard LGuard(OggLibraryMutex);
    void* LHandle = OggLibrary.load(std::memory_order_relaxed);
    if (!LHandle) {
        LHandle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!LHandle)
            throw EDGDLLLoadError("Can't load VorbisDLL.dll");
        OggLibrary.store(LHandle, std::memory_order_release);
    }
    return LHandle;
}

void* SNGetProcAddress(const char* AName)
{
    void* LAddress = dlsym(GetLibrary(), AName);
    if (!LAddress)
        throw EDGDLLLoadError(std::string("Can't get ") + AName);
    return LAddress;
}

#define SN_DEFINE_AUXILIARY(AName, AType)                                                                              \
    namespace {                                                                                                        \
    constexpr char AName##_Export_[] = #AName;                                                                         \
    }                                                                                                                  \
    TLibraryFunction<AType> AName{&TLibraryFunction<AType>::Stub<AName, AName##_Export_>};                           \
    const TLibraryFunction<AType>::TFunction AName##_Init_ = &TLibraryFunction<AType>::Stub<AName, AName##_Export_>;
#define SN_DEFINE_FUNCTION(AName) SN_DEFINE_AUXILIARY(AName, decltype(&::AName))
SN_VORBIS_OGG_AUXILIARY(SN_DEFINE_AUXILIARY)
SN_VORBIS_OGG_FUNCTIONS(SN_DEFINE_FUNCTION)

} // namespace Sonorix
