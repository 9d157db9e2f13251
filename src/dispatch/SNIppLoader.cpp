// SPDX-License-Identifier: MIT
#include "SNIppLoader.h"
#include "SNLoadedObject.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace Sonorix::SNIppLoader {

namespace {

// Unversioned development names first, then the run-time names of the
// releases that still export the functions of the table. The dynamic loader
// searches its usual path (LD_LIBRARY_PATH, the caller's RUNPATH, ld.so.cache).
constexpr const char* CSignalNames[] = {"libipps.so", "libipps.so.10", "libipps.so.9", "libipps.so.8",
                                        "libipps.so.7"};
constexpr const char* CImageNames[] = {"libippi.so", "libippi.so.10", "libippi.so.9", "libippi.so.8",
                                       "libippi.so.7"};

// The dlopen handle of the object this code is linked into (the package
// library, or a program that links the kernels statically): its search list
// is the one dlopen uses here.
void* OwnHandle()
{
    const char* LName = LoadedObjectFile(reinterpret_cast<const void*>(&OwnHandle));
    const bool LProgram = LName == nullptr || LName[0] == '\0';
    return dlopen(LProgram ? nullptr : LName, RTLD_LAZY | RTLD_NOLOAD);
}

// The longest start that all the names share.
std::string_view CommonPrefix(std::initializer_list<const char*> ANames)
{
    std::string_view LPrefix = *ANames.begin();
    for (std::string_view LName : ANames)
        while (!LName.starts_with(LPrefix))
            LPrefix.remove_suffix(1);
    return LPrefix;
}

// Whether dlopen could find any of the names: a file of that name in a
// folder of the search list (LD_LIBRARY_PATH, RUNPATH, the system folders),
// or the name in the loader's cache. On a machine without IPP this costs a
// few dozen file look-ups, where each failing dlopen would try every folder
// and its hardware-capability subfolders and map the cache again. When it
// cannot tell, it answers yes and dlopen decides.
bool MayLoad(std::initializer_list<const char*> ANames)
{
    void* LHandle = OwnHandle();
    if (LHandle == nullptr)
        return true;
    Dl_serinfo LSize;
    const bool LSized = dlinfo(LHandle, RTLD_DI_SERINFOSIZE, &LSize) == 0;
    std::unique_ptr<Dl_serinfo, decltype(&std::free)> LInfo(
        LSized ? static_cast<Dl_serinfo*>(std::malloc(LSize.dls_size)) : nullptr, &std::free);
    if (LInfo) {
        LInfo->dls_size = LSize.dls_size;
        LInfo->dls_cnt = LSize.dls_cnt;
    }
    const bool LListed = LInfo && dlinfo(LHandle, RTLD_DI_SERINFO, LInfo.get()) == 0;
    dlclose(LHandle);
    if (!LListed)
        return true;
    // With /lib a link to /usr/lib the system folders come twice.
    std::vector<std::pair<dev_t, ino_t>> LSeen;
    for (unsigned i = 0; i < LInfo->dls_cnt; ++i) {
        const int LFolder = open(LInfo->dls_serpath[i].dls_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (LFolder < 0)
            continue;
        struct stat LFolderStat {};
        bool LFound = false;
        if (fstat(LFolder, &LFolderStat) == 0 &&
            std::find(LSeen.begin(), LSeen.end(), std::pair(LFolderStat.st_dev, LFolderStat.st_ino)) == LSeen.end()) {
            LSeen.emplace_back(LFolderStat.st_dev, LFolderStat.st_ino);
            for (const char* LName : ANames)
                LFound = LFound || faccessat(LFolder, LName, F_OK, 0) == 0;
        }
        close(LFolder);
        if (LFound)
            return true;
    }
    const int LCache = open("/etc/ld.so.cache", O_RDONLY | O_CLOEXEC);
    if (LCache < 0)
        return false;
    struct stat LStat {};
    void* LMap = fstat(LCache, &LStat) == 0 && LStat.st_size > 0
                     ? mmap(nullptr, static_cast<size_t>(LStat.st_size), PROT_READ, MAP_PRIVATE, LCache, 0)
                     : MAP_FAILED;
    close(LCache);
    if (LMap == MAP_FAILED)
        return true;
    const auto LCacheSize = static_cast<size_t>(LStat.st_size);
    const char* const LBegin = static_cast<const char*>(LMap);
    const char* const LEnd = LBegin + LCacheSize;
    const std::string_view LPrefix = CommonPrefix(ANames);
    const auto LNamed = [&](std::string_view AAt) {
        return AAt.starts_with(LPrefix) &&
               std::any_of(ANames.begin(), ANames.end(), [&](const char* AName) { return AAt.starts_with(AName); });
    };
    bool LFound = false;
    // The current format: a header, then an entry per library whose key is
    // the offset of its name. Reading the names alone is a tenth of a pass
    // over every byte of the file.
    constexpr std::string_view CMagic = "glibc-ld.so.cache1.1";
    constexpr size_t CHeader = 48, CEntry = 24;
    uint32_t LCount = 0;
    if (LCacheSize >= CHeader && std::string_view(LBegin, CMagic.size()) == CMagic) {
        std::memcpy(&LCount, LBegin + CMagic.size(), sizeof LCount);
        if (LCount > (LCacheSize - CHeader) / CEntry)
            LCount = 0;
        for (uint32_t i = 0; i < LCount && !LFound; ++i) {
            uint32_t LKey = 0;
            std::memcpy(&LKey, LBegin + CHeader + i * CEntry + 4, sizeof LKey);
            if (LKey < LCacheSize)
                LFound = LNamed(std::string_view(LBegin + LKey, strnlen(LBegin + LKey, LCacheSize - LKey)));
        }
    }
    // Any other layout: the cache's strings hold every name it knows. One
    // pass for the prefix the names share, then each name at the places found.
    for (const char* LAt = LBegin; LCount == 0 && !LFound && LAt < LEnd; ++LAt) {
        LAt = static_cast<const char*>(memmem(LAt, static_cast<size_t>(LEnd - LAt), LPrefix.data(), LPrefix.size()));
        if (LAt == nullptr)
            break;
        LFound = LNamed(std::string_view(LAt, static_cast<size_t>(LEnd - LAt)));
    }
    munmap(LMap, LCacheSize);
    return LFound;
}

// Asked once for both libraries.
bool AnyMayLoad()
{
    static const bool LAny = MayLoad({CSignalNames[0], CSignalNames[1], CSignalNames[2], CSignalNames[3],
                                      CSignalNames[4], CImageNames[0], CImageNames[1], CImageNames[2],
                                      CImageNames[3], CImageNames[4]});
    return LAny;
}

template <int ACount>
void* OpenFirst(const char* const (&ANames)[ACount])
{
    if (!AnyMayLoad())
        return nullptr;
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
