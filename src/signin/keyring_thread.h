#pragma once

#include <chrono>
#include <functional>

namespace tramelo::signin {

// The one thread of the process on which every keyring job runs. QtKeychain
// queues its jobs in a process-wide executor that lives on the thread of the
// first job and needs that thread's event loop to move on; one long-lived
// thread with its own loop keeps that sound whichever thread asks, and no
// caller's thread has to process events while it waits.
//
// Runs `start` on that thread and blocks the caller until `start`'s done
// function is called or the time-out passes; true when done in time.
bool runOnKeyringThread(const std::function<void(const std::function<void()> &done)> &start,
                        std::chrono::milliseconds timeout);

} // namespace tramelo::signin
