// SPDX-License-Identifier: MIT
// The file a logger writes, put under its name only once its header is on
// the disk: it is created under a temporary name in the target's folder and
// renamed into place by Commit. A run killed before then leaves the previous
// file (or none), never a file without a complete header. Devices, FIFOs and
// names that cannot be written that way are opened directly, as before.
#pragma once

#include "SNExport.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Sonorix {

class SN_API TSNOutputFile {
public:
    TSNOutputFile() = default;
    TSNOutputFile(const TSNOutputFile&) = delete;
    TSNOutputFile& operator=(const TSNOutputFile&) = delete;
    ~TSNOutputFile() { Close(); }

    // 0 or a negative errno. An existing regular file (a symbolic link's
    // target) keeps its permission bits once replaced.
    int Open(const std::string& AFileName);
    int Fd() const { return FFd; }
    // A regular file: seekable, patched in place.
    bool Regular() const { return FRegular; }
    // Opened for reading too.
    bool Readable() const { return FReadable; }
    // Writes all ASize bytes: at AOffset in a regular file, else where the
    // stream stands. 0, or an errno (ENOSPC for a write that made no
    // progress); AWritten counts the bytes that reached the file either way.
    int WriteAll(const void* AData, size_t ASize, int64_t AOffset, size_t& AWritten) const;
    // Puts the file under its name (nothing to do for one opened directly);
    // 0 or a negative errno.
    int Commit();
    // Closes; a file never committed is removed. 0 or a negative errno.
    int Close();

private:
    int OpenDirect(const std::string& AFileName);

    int FFd = -1;
    bool FRegular = false;
    bool FReadable = false;
    std::string FTarget;
    // Empty once committed, or when opened directly.
    std::string FTemporary;
};

} // namespace Sonorix
