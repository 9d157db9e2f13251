// SPDX-License-Identifier: MIT
#include "SNModule.h"

#include "CVRegistry.h"
#include "SNLoadedObject.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <mutex>
#include <sys/stat.h>

namespace Sonorix {

void TSNLibraryClose::operator()(void* AHandle) const
{
    if (AHandle)
        dlclose(AHandle);
}

namespace {

struct TLoadedModule {
    std::string Path;
    TSNLibraryHandle Handle;
};

struct TModules {
    // Recursive: a module's classes may be described in terms of a class of
    // another module, which then loads from inside this one's loading.
    std::recursive_mutex Mutex;
    std::vector<TLoadedModule> Loaded;

    static TModules& Instance()
    {
        static TModules LModules;
        return LModules;
    }
};

class TRegistrar : public TSNModuleRegistrar {
public:
    std::vector<TCatalogueEntry> Rows;
    void AddClass(const TCatalogueEntry& AEntry) override { Rows.push_back(AEntry); }
};

// dlerror() names the file first; the error line names it already.
std::string LoaderError(const std::string& APath)
{
    const char* LText = dlerror();
    std::string LError = LText ? LText : "unknown error";
    if (LError.starts_with(APath + ": "))
        LError.erase(0, APath.size() + 2);
    return LError;
}

// The name under which the catalogue keeps rows for AFile when it is one of
// the package's own modules (under any name: `--load` of a link to it too).
std::string PackageModuleName(const struct stat& AFile)
{
    for (const TCatalogueEntry& LEntry : Catalogue()) {
        struct stat LStat {};
        if (LEntry.Module && stat(PackageModulePath(LEntry.Module).c_str(), &LStat) == 0 &&
            LStat.st_dev == AFile.st_dev && LStat.st_ino == AFile.st_ino)
            return LEntry.Module;
    }
    return {};
}

} // namespace

void LoadModule(const std::string& APath)
{
    if (APath.empty())
        throw EModuleError("a module needs a file name");
    const std::string LPath = APath.find('/') == std::string::npos ? "./" + APath : APath;
    const std::string LShown = "module '" + APath + "'";
    struct stat LStat {};
    if (stat(LPath.c_str(), &LStat) != 0)
        throw EModuleError("cannot load " + LShown + ": " + std::strerror(errno));
    if (!S_ISREG(LStat.st_mode))
        throw EModuleError("cannot load " + LShown + ": not a file");

    TModules& LModules = TModules::Instance();
    std::lock_guard LGuard(LModules.Mutex);
    TSNLibraryHandle LHandle(dlopen(LPath.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!LHandle)
        throw EModuleError("cannot load " + LShown + ": " + LoaderError(LPath));
    // The same file under any name gives the same handle.
    for (const TLoadedModule& LModule : LModules.Loaded)
        if (LModule.Handle.get() == LHandle.get())
            return;
    auto LEntryPoint = reinterpret_cast<TSonorixRegisterModule>(dlsym(LHandle.get(), CSonorixModuleEntryPoint));
    if (!LEntryPoint)
        throw EModuleError("'" + APath + "' is not a component module: it has no " +
                           std::string(CSonorixModuleEntryPoint) + " function");
    TRegistrar LRegistrar;
    const int LVersion = LEntryPoint(CSonorixModuleApiVersion, &LRegistrar);
    if (LVersion != CSonorixModuleApiVersion)
        throw EModuleError(LShown + " is built for module interface " + std::to_string(LVersion) +
                           "; this package has interface " + std::to_string(CSonorixModuleApiVersion));
    if (LRegistrar.Rows.empty())
        throw EModuleError(LShown + " adds no component");
    try {
        AddCatalogueEntries(LRegistrar.Rows, PackageModuleName(LStat));
    } catch (const EDGException& E) {
        throw EModuleError(LShown + ": " + E.what());
    }
    std::vector<const TClassDescription*> LClasses;
    try {
        for (const TCatalogueEntry& LRow : LRegistrar.Rows) {
            const TClassDescription& LClass = LRow.Describe();
            if (LClass.ClassName != LRow.ClassName || !LClass.Factory)
                throw EAssertionFailed("the description of '" + std::string(LRow.ClassName) +
                                       "' names another class or has no factory");
            LClasses.push_back(&LClass);
        }
    } catch (const EDGException& E) {
        RemoveCatalogueEntries(LRegistrar.Rows);
        throw EModuleError(LShown + ": " + E.what());
    }
    for (const TClassDescription* LClass : LClasses)
        TSNRegistry::Instance().RegisterComponents({LClass});
    // Its classes are in use from now on: the code stays mapped until exit,
    // even after the handle closes.
    if (void* LPinned = dlopen(LPath.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
        dlclose(LPinned);
    LModules.Loaded.push_back({LPath, std::move(LHandle)});
}

void LoadModulesFrom(std::string_view AFolders)
{
    size_t LStart = 0;
    while (LStart <= AFolders.size()) {
        size_t LEnd = AFolders.find(':', LStart);
        if (LEnd == std::string_view::npos)
            LEnd = AFolders.size();
        const std::string LFolder(AFolders.substr(LStart, LEnd - LStart));
        LStart = LEnd + 1;
        if (LFolder.empty())
            continue;
        std::unique_ptr<DIR, int (*)(DIR*)> LDir(opendir(LFolder.c_str()), closedir);
        if (!LDir)
            continue;
        std::vector<std::string> LFiles;
        while (const dirent* LItem = readdir(LDir.get())) {
            const std::string_view LName = LItem->d_name;
            if (LName.size() > 3 && LName.ends_with(".so"))
                LFiles.emplace_back(LName);
        }
        std::sort(LFiles.begin(), LFiles.end());
        for (const std::string& LFile : LFiles)
            LoadModule(LFolder + (LFolder.ends_with('/') ? "" : "/") + LFile);
    }
}

std::vector<std::string> LoadedModules()
{
    TModules& LModules = TModules::Instance();
    std::lock_guard LGuard(LModules.Mutex);
    std::vector<std::string> LPaths;
    for (const TLoadedModule& LModule : LModules.Loaded)
        LPaths.push_back(LModule.Path);
    return LPaths;
}

std::string PackageModulePath(const std::string& AFileName)
{
    static const std::string LFolder = [] {
        const char* LFile = LoadedObjectFile(reinterpret_cast<const void*>(&PackageModulePath));
        if (LFile == nullptr)
            return std::string();
        const std::string LLibrary = LFile;
        const size_t LSlash = LLibrary.rfind('/');
        return LSlash == std::string::npos ? std::string() : LLibrary.substr(0, LSlash + 1);
    }();
    return LFolder + AFileName;
}

} // namespace Sonorix
