// SPDX-License-Identifier: MIT
// Notifications handed to the main thread that the sender can still withdraw:
// meters, the spectrum and players use it for their synchronised events.
#pragma once

#include "SNExport.h"

#include <functional>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

// Hands notifications to the main thread and lets the sender withdraw those
// not yet delivered. Withdrawn or late notifications (after Shutdown) are
// skipped when their turn comes.
class TSNMainThreadNotify {
public:
    TSNMainThreadNotify();
    ~TSNMainThreadNotify();
    TSNMainThreadNotify(const TSNMainThreadNotify&) = delete;
    TSNMainThreadNotify& operator=(const TSNMainThreadNotify&) = delete;

    // Any thread. Withdraws every notification not yet delivered.
    void ClearMainThread();
    // Any thread. AWork runs later on the main thread unless withdrawn.
    void SyncNotify(std::function<void()> AWork);
    // Waits for a delivery in progress; none runs afterwards.
    void Shutdown();

private:
    struct TState;
    std::shared_ptr<TState> FState;
};

SN_API_END
} // namespace Sonorix
