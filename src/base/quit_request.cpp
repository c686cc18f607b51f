// The process-wide quit request.
#include "base/quit_request.h"

#include <atomic>

namespace {

// Lock-free, so that a signal handler may store it.
std::atomic<bool> quitFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the quit request must be safe in a signal handler");

}  // namespace

void requestQuit() { quitFlag.store(true, std::memory_order_relaxed); }

bool quitRequested() { return quitFlag.load(std::memory_order_relaxed); }

void clearQuitRequest() { quitFlag.store(false, std::memory_order_relaxed); }
