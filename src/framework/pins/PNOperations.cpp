// SPDX-License-Identifier: MIT
#include "PNOperations.h"

namespace Sonorix {

void TPNOperationList::Append(IPNNotifyOperationPtr AOperation)
{
    std::lock_guard LGuard(FMutex);
    FItems.push_back(std::move(AOperation));
}

IPNNotifyOperationPtr TPNOperationList::ExtractFirst()
{
    std::lock_guard LGuard(FMutex);
    if (FItems.empty())
        return nullptr;
    IPNNotifyOperationPtr LFirst = std::move(FItems.front());
    FItems.pop_front();
    return LFirst;
}

size_t TPNOperationList::Count() const
{
    std::lock_guard LGuard(FMutex);
    return FItems.size();
}

void TPNOperationList::Clear()
{
    TItems LOld;
    {
        std::lock_guard LGuard(FMutex);
        LOld.swap(FItems);
    }
    // Operations are released outside the lock: their buffers may be large.
}

} // namespace Sonorix
