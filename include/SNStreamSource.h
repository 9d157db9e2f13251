// SPDX-License-Identifier: MIT
// What a runner needs of a component that produces a stream on its own.
#pragma once

#include "SNExport.h"

namespace Sonorix {
SN_API_BEGIN

// Implemented by components that start streams by themselves (generators,
// players) and by those that keep a clock of their own (a mixer that is its
// own pump). A runner starts the sources of a pipeline, watches them end,
// and stops what still runs.
class ISNStreamSource {
public:
    virtual ~ISNStreamSource() = default;
    // Begins producing: sends the stream's start and starts pumping.
    virtual void StartSource() = 0;
    // Stops producing and sends the stream's stop. Callable from any thread,
    // including a clock callback; does nothing when not running.
    virtual void StopSource() = 0;
    // False once the source has stopped or reached its end.
    virtual bool IsSourceRunning() const = 0;
};

SN_API_END
} // namespace Sonorix
