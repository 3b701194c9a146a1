#pragma once

#include <chrono>
#include <functional>

namespace tramelo::signin {

// Runs an asynchronous operation to its end on the calling thread, without
// the caller's event loop: `start` begins it and is handed a function to call
// when it is done; meanwhile a local event loop runs on this thread (user
// input excluded) until then or until the time-out. True when it was done in
// time. The operation may call the function late, after a time-out: nothing
// happens then. This is how the blocking calls of this library work on a
// worker thread that has no event loop of its own.
using DoneFunction = std::function<void()>;
bool runLocally(const std::function<void(const DoneFunction &done)> &start, std::chrono::milliseconds timeout);

} // namespace tramelo::signin
