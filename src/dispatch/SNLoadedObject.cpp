// SPDX-License-Identifier: MIT
#include "SNLoadedObject.h"

#include <link.h>

#include <cstdint>

namespace Sonorix {

const char* LoadedObjectFile(const void* AAddress)
{
    struct TSearch {
        uintptr_t Address;
        const char* Name = nullptr;
    } LSearch{reinterpret_cast<uintptr_t>(AAddress)};
    dl_iterate_phdr(
        [](dl_phdr_info* AInfo, size_t, void* AData) {
            auto* LSearch = static_cast<TSearch*>(AData);
            for (int i = 0; i < AInfo->dlpi_phnum; ++i) {
                const ElfW(Phdr)& LSegment = AInfo->dlpi_phdr[i];
                const uintptr_t LStart = AInfo->dlpi_addr + LSegment.p_vaddr;
                if (LSegment.p_type == PT_LOAD && LSearch->Address - LStart < LSegment.p_memsz) {
                    LSearch->Name = AInfo->dlpi_name != nullptr ? AInfo->dlpi_name : "";
                    return 1;
                }
            }
            return 0;
        },
        &LSearch);
    return LSearch.Name;
}

} // namespace Sonorix
