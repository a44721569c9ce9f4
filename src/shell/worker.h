#pragma once
// The one way the windows run a long operation: the work on its own thread,
// the finishing step back on the window thread once the work has ended, and
// a running marker that commands test to refuse a second start. The window
// thread never waits for the work.
#include <QObject>
#include <atomic>
#include <functional>

namespace dudorazu::shell {

class RunningMarker {
 public:
  bool running() const { return count_.load() > 0; }
  void enter() { count_.fetch_add(1); }
  void leave() { count_.fetch_sub(1); }

 private:
  std::atomic<int> count_{0};
};

// Starts `work` on a new thread unless `marker` is set; `done` runs on the
// thread of `owner` when the work has ended (not at all when the owner is
// gone by then). `held` (a window's "an operation runs" marker, which its
// close waits for) is set with `marker` and left with it, so a refused
// start leaves nothing set that no end would clear. False when refused.
bool startWorker(RunningMarker& marker, QObject* owner, std::function<void()> work, std::function<void()> done,
                 RunningMarker* held = nullptr);

// Operations still running (the application waits for them before it ends).
int runningWorkers();
void waitForWorkers();

}  // namespace dudorazu::shell
