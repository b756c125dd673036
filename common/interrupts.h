// Signals during long native loops.  The interpreter runs signal handlers
// only between bytecodes, so a loop that runs no Python code must poll for
// them itself, as the interpreter's own long-running C code does.
#pragma once

#include "frame.h"

#include <cstdint>

namespace vy {

// Runs the handlers of the signals that arrived (in the main thread; other
// threads return at once) and throws PyError when one raised, such as the
// KeyboardInterrupt of Ctrl-C.  It may also run a scheduled garbage
// collection, and so finalisers: never call it inside a critical section.
void check_signals();

// A loop's poll, made every `kInterval` units of work: each step costs
// about as much as an iteration of the regular-expression engine, which
// polls every 4096 steps.
class Interrupts {
public:
    static constexpr std::int64_t kInterval = 4096;

    // Counts `work` units (a loop over items whose cost grows with n may
    // count n per step).
    void step(std::int64_t work = 1) {
        left_ -= work;
        if (left_ > 0) return;
        left_ = kInterval;
        check_signals();
    }

private:
    std::int64_t left_ = kInterval;
};

// For work spread over separate calls, where no counter survives from one
// to the next: polls when a position that only grows (an offset in a text)
// crosses a multiple of the interval on its way from `from` to `to`.
inline void check_signals_between(std::int64_t from, std::int64_t to) {
    if (from / Interrupts::kInterval != to / Interrupts::kInterval) check_signals();
}

}  // namespace vy
