// SPDX-License-Identifier: MIT
#include "SNVorbisOgg.h"

#include "SNModule.h"
#include "SNTypes.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace Sonorix {

namespace {
std::atomic<void*> OggLibrary{nullptr};
std::mutex OggLibraryMutex;
std::atomic<void*> OggPartLibrary{nullptr};
std::mutex OggPartLibraryMutex;
} // namespace

void* LoadWrapperLibrary(std::atomic<void*>& AHandle, std::mutex& AMutex, const char* AFileName,
                         const char* AFailure)
{
    if (void* LHandle = AHandle.load(std::memory_order_acquire))
        return LHandle;
    std::lock_guard LGuard(AMutex);
    void* LHandle = AHandle.load(std::memory_order_relaxed);
    if (!LHandle) {
        LHandle = dlopen(PackageModulePath(AFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
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

void* GetOggLibrary()
{
    return LoadWrapperLibrary(OggPartLibrary, OggPartLibraryMutex, "libOggDLL.so", "Can't load VorbisDLL.dll");
}

namespace {
void* GetExport(void* ALibrary, const char* AName)
{
    void* LAddress = dlsym(ALibrary, AName);
    if (!LAddress)
        throw EDGDLLLoadError(std::string("Can't get ") + AName);
    return LAddress;
}
} // namespace

void* SNGetProcAddress(const char* AName)
{
    return GetExport(GetLibrary(), AName);
}

void* SNGetOggProcAddress(const char* AName)
{
    return GetExport(GetOggLibrary(), AName);
}

#define SN_DEFINE_AUXILIARY(AName, AType)                                                                              \
    namespace {                                                                                                        \
    constexpr char AName##_Export_[] = #AName;                                                                         \
    }                                                                                                                  \
    TLibraryFunction<AType> AName{&TLibraryFunction<AType>::Stub<AName, AName##_Export_>};                           \
    const TLibraryFunction<AType>::TFunction AName##_Init_ = &TLibraryFunction<AType>::Stub<AName, AName##_Export_>;
#define SN_DEFINE_FUNCTION(AName) SN_DEFINE_AUXILIARY(AName, decltype(&::AName))
#define SN_DEFINE_OGG_AUXILIARY(AName, AType)                                                                          \
    namespace {                                                                                                        \
    constexpr char AName##_Export_[] = #AName;                                                                         \
    }                                                                                                                  \
    TLibraryFunction<AType> AName{&TLibraryFunction<AType>::Stub<AName, AName##_Export_, &SNGetOggProcAddress>};       \
    const TLibraryFunction<AType>::TFunction AName##_Init_ =                                                           \
        &TLibraryFunction<AType>::Stub<AName, AName##_Export_, &SNGetOggProcAddress>;
#define SN_DEFINE_OGG_FUNCTION(AName) SN_DEFINE_OGG_AUXILIARY(AName, decltype(&::AName))
SN_VORBIS_AUXILIARY(SN_DEFINE_AUXILIARY)
SN_OGG_AUXILIARY(SN_DEFINE_OGG_AUXILIARY)
SN_VORBIS_FUNCTIONS(SN_DEFINE_FUNCTION)
SN_OGG_FUNCTIONS(SN_DEFINE_OGG_FUNCTION)

} // namespace Sonorix
