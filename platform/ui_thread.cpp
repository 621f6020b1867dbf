#include "platform/ui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace quinterra {
namespace {

// Shared by the waiting worker and the call posted to the UI thread.
struct PendingCall {
  std::mutex mutex;
  std::condition_variable finished_signal;
  bool finished = false;
  std::exception_ptr error;

  void Finish(std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(mutex);
    if (finished) return;
    error = std::move(failure);
    finished = true;
    finished_signal.notify_all();
  }
};

// Releases the worker even when Qt discards the posted call unrun (the
// application object is destroyed first): the functor is destroyed then.
class ReleaseOnDestruction {
 public:
  explicit ReleaseOnDestruction(std::shared_ptr<PendingCall> pending)
      : pending_(std::move(pending)) {}
  ~ReleaseOnDestruction() { pending_->Finish(nullptr); }
  ReleaseOnDestruction(const ReleaseOnDestruction&) = delete;
  ReleaseOnDestruction& operator=(const ReleaseOnDestruction&) = delete;

 private:
  std::shared_ptr<PendingCall> pending_;
};

// Qt passes the posted functor to the UI thread under its own futex-based
// locks, which ThreadSanitizer cannot see. Holding this mutex while the
// functor is built and posted, and taking it in the functor before it reads
// anything, makes the hand-over visible to it.
std::mutex& HandoffMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

void RunOnUiThread(const std::function<void()>& call) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr || QThread::currentThread() == application->thread()) {
    call();
    return;
  }

  auto pending = std::make_shared<PendingCall>();
  auto release = std::make_shared<ReleaseOnDestruction>(pending);
  // The worker waits below, so `call` outlives the posted functor's use of it.
  std::unique_lock<std::mutex> handoff(HandoffMutex());
  const bool posted = QMetaObject::invokeMethod(
      application,
      [pending, release, &call] {
        { std::lock_guard<std::mutex> seen(HandoffMutex()); }
        std::exception_ptr failure;
        try {
          call();
        } catch (...) {
          failure = std::current_exception();
        }
        pending->Finish(failure);
      },
      Qt::QueuedConnection);
  handoff.unlock();
  release.reset();
  if (!posted) return;

  std::unique_lock<std::mutex> lock(pending->mutex);
  pending->finished_signal.wait(lock, [&] { return pending->finished; });
  if (pending->error) std::rethrow_exception(pending->error);
}

}  // namespace quinterra
