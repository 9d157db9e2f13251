// SPDX-License-Identifier: MIT
#include "SNOutputFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sonorix {

int TSNOutputFile::OpenDirect(const std::string& AFileName)
{
    FFd = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    FReadable = FFd >= 0;
    if (FFd < 0 && errno == EACCES)
        FFd = ::open(AFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0)
        return -errno;
    struct stat LStat {};
    FRegular = ::fstat(FFd, &LStat) == 0 && S_ISREG(LStat.st_mode);
    return 0;
}

int TSNOutputFile::Open(const std::string& AFileName)
{
    Close();
    struct stat LStat {};
    const bool LExists = ::stat(AFileName.c_str(), &LStat) == 0;
    struct stat LLink {};
    const bool LDangling = !LExists && ::lstat(AFileName.c_str(), &LLink) == 0;
    // Devices, FIFOs and links to nowhere are written as they are.
    if (AFileName.empty() || LDangling || (LExists && !S_ISREG(LStat.st_mode)))
        return OpenDirect(AFileName);
    FTarget = AFileName;
    if (LExists) {
        // The replaced file is the one a symbolic link points to, and it must
        // be writable, as when it was truncated in place.
        if (::access(AFileName.c_str(), W_OK) != 0)
            return -errno;
        if (char* LReal = ::realpath(AFileName.c_str(), nullptr)) {
            FTarget = LReal;
            std::free(LReal);
        }
    }
    const size_t LSlash = FTarget.rfind('/');
    const std::string LFolder = LSlash == std::string::npos ? std::string() : FTarget.substr(0, LSlash + 1);
    const std::string LBase = LSlash == std::string::npos ? FTarget : FTarget.substr(LSlash + 1);
    static std::atomic<unsigned> LCounter{0};
    for (int LTry = 0; LTry < 100 && FFd < 0; ++LTry) {
        const std::string LName = LFolder + "." + LBase + "." + std::to_string(::getpid()) + "-" +
                                  std::to_string(LCounter++) + ".part";
        FFd = ::open(LName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (FFd >= 0)
            FTemporary = LName;
        else if (errno != EEXIST)
            break;
    }
    // A folder we cannot create in (or a name too long for the suffix): the
    // file is written in place, as before.
    if (FFd < 0) {
        FTarget.clear();
        return OpenDirect(AFileName);
    }
    if (LExists) {
        [[maybe_unused]] const int LOwner = ::fchown(FFd, LStat.st_uid, LStat.st_gid);
        ::fchmod(FFd, LStat.st_mode & 07777);
    }
    FRegular = FReadable = true;
    return 0;
}

int TSNOutputFile::WriteAll(const void* AData, size_t ASize, int64_t AOffset, size_t& AWritten) const
{
    const auto* LData = static_cast<const uint8_t*>(AData);
    for (AWritten = 0; AWritten < ASize;) {
        const size_t LCount = ASize - AWritten;
        const ssize_t LWritten = FRegular ? ::pwrite(FFd, LData + AWritten, LCount,
                                                     static_cast<off_t>(AOffset + static_cast<int64_t>(AWritten)))
                                          : ::write(FFd, LData + AWritten, LCount);
        if (LWritten < 0 && errno == EINTR)
            continue;
        if (LWritten <= 0)
            return LWritten < 0 ? errno : ENOSPC;
        AWritten += static_cast<size_t>(LWritten);
    }
    return 0;
}

int TSNOutputFile::Commit()
{
    if (FTemporary.empty())
        return 0;
    if (::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        return -errno;
    FTemporary.clear();
    return 0;
}

int TSNOutputFile::Close()
{
    int LResult = 0;
    if (FFd >= 0 && ::close(FFd) != 0)
        LResult = -errno;
    FFd = -1;
    if (!FTemporary.empty())
        ::unlink(FTemporary.c_str());
    FTemporary.clear();
    FTarget.clear();
    FRegular = FReadable = false;
    return LResult;
}

} // namespace Sonorix
