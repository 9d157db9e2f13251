// SPDX-License-Identifier: MIT
#include "SNVorbisOgg.h"

#include "SNTypes.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace Sonorix {

namespace {
std::atomic<void*> OggLibrary{nullptr};
std::mutex OggLibraryMutex;

// The wrappers sit next to the package library, in the build tree and once
// installed; that folder is found from an address inside this library.
std::string LibraryPath(const char* AFileName)
{
    Dl_info LInfo{};
    if (dladdr(reinterpret_cast<void*>(&LibraryPath), &LInfo) == 0 || LInfo.dli_fname == nullptr)
        return AFileName;
    std::string LPath = LInfo.dli_fname;
    const auto LSlash = LPath.rfind('/');
    return LSlash == std::string::npos ? AFileName : LPath.substr(0, LSlash + 1) + AFileName;
}
} // namespace

void* LoadWrapperLibrary(std::atomic<void*>& AHandle, std::mutex& AMutex, const char* AFileName,
                         const char* AFailure)
{
    if (void* LHandle = AHandle.load(std::memory_order_acquire))
        return LHandle;
    std::lock_guard LGuard(AMutex);
    void* LHandle = AHandle.load(std::memory_order_relaxed);
    if (!LHandle) {
        LHandle = dlopen(LibraryPath(AFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!LHandle)
            throw EDGDLLLoadError(AFailure);
        AHandle.store(LHandle, std::memory_order_release);
    }
    return LHandle;
}

void* GetLibrary()
{
    return LoadWrapperLibrary(OggLibrary, OggLibraryMutex, "libVorbisDLL.so", "Can't load VorbisDLL.dll");
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
