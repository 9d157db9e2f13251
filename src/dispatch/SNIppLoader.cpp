// SPDX-License-Identifier: MIT
#include "SNIppLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
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
// is the one dlopen uses here. Found by address, without dladdr's symbol scan.
void* OwnHandle()
{
    struct TSearch {
        uintptr_t Address;
        const char* Name = nullptr;
    } LSearch{reinterpret_cast<uintptr_t>(&OwnHandle)};
    dl_iterate_phdr(
        [](dl_phdr_info* AInfo, size_t, void* AData) {
            auto* LSearch = static_cast<TSearch*>(AData);
            for (int i = 0; i < AInfo->dlpi_phnum; ++i) {
                const ElfW(Phdr)& LSegment = AInfo->dlpi_phdr[i];
                const uintptr_t LStart = AInfo->dlpi_addr + LSegment.p_vaddr;
                if (LSegment.p_type == PT_LOAD && LSearch->Address - LStart < LSegment.p_memsz) {
                    LSearch->Name = AInfo->dlpi_name;
                    return 1;
                }
            }
            return 0;
        },
        &LSearch);
    const bool LProgram = LSearch.Name == nullptr || LSearch.Name[0] == '\0';
    return dlopen(LProgram ? nullptr : LSearch.Name, RTLD_LAZY | RTLD_NOLOAD);
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
    // The cache's strings hold every name it knows. One pass for the prefix
    // the names share, then each name at the places found.
    const char* const LBegin = static_cast<const char*>(LMap);
    const char* const LEnd = LBegin + LStat.st_size;
    const std::string_view LPrefix = CommonPrefix(ANames);
    bool LFound = false;
    for (const char* LAt = LBegin; !LFound && LAt < LEnd; ++LAt) {
        LAt = static_cast<const char*>(memmem(LAt, static_cast<size_t>(LEnd - LAt), LPrefix.data(), LPrefix.size()));
        if (LAt == nullptr)
            break;
        for (const char* LName : ANames)
            LFound = LFound || std::string_view(LAt, static_cast<size_t>(LEnd - LAt)).starts_with(LName);
    }
    munmap(LMap, static_cast<size_t>(LStat.st_size));
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
