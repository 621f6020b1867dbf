#pragma once
// Synchronised calls from a worker thread onto the UI thread.

#include <functional>

namespace quinterra {

// Runs call on the thread of the QCoreApplication and returns once it has
// run; an exception it throws is rethrown here. Already on that thread, or
// with no application object, the call runs directly.
//
// The UI thread must keep processing events meanwhile: a UI thread that
// waits for this worker to end (join) while the worker is in here would wait
// for ever. If the application object is destroyed before the call could
// run, the call is dropped and this returns.
void RunOnUiThread(const std::function<void()>& call);

}  // namespace quinterra
