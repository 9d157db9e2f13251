// SPDX-License-Identifier: MIT
// How far real-time clocks fell behind (TDGClockGen, DGClock.h).
#pragma once

#include <cstdint>

namespace Sonorix {

// Real-time ticks that came too late since the process started: later than
// one period after their due time (the next one was due already) and at
// least CDGMissedDeadlineSlack (100-ns units) late. Virtual time misses none.
uint64_t DGMissedDeadlines();
inline constexpr int64_t CDGMissedDeadlineSlack = 100'000; // 10 ms

} // namespace Sonorix
