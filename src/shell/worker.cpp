#include "shell/worker.h"

#include <QThread>
#include <mutex>
#include <set>

namespace dudorazu::shell {
namespace {

std::mutex threadsMutex;
std::set<QThread*>& threads() {
  static std::set<QThread*> all;
  return all;
}

}  // namespace

bool startWorker(RunningMarker& marker, QObject* owner, std::function<void()> work, std::function<void()> done,
                 RunningMarker* held) {
  if (marker.running()) return false;
  marker.enter();
  if (held) held->enter();
  QThread* thread = QThread::create(std::move(work));
  {
    std::lock_guard<std::mutex> lock(threadsMutex);
    threads().insert(thread);
  }
  // The marker belongs to the owner: it is left before the finishing step,
  // so that step may start the next operation.
  QObject::connect(thread, &QThread::finished, owner, [thread, &marker, held, done = std::move(done)] {
    {
      std::lock_guard<std::mutex> lock(threadsMutex);
      threads().erase(thread);
    }
    thread->deleteLater();
    marker.leave();
    if (held) held->leave();
    if (done) done();
  });
  thread->start();
  return true;
}

int runningWorkers() {
  std::lock_guard<std::mutex> lock(threadsMutex);
  return static_cast<int>(threads().size());
}

void waitForWorkers() {
  std::set<QThread*> pending;
  {
    std::lock_guard<std::mutex> lock(threadsMutex);
    pending = threads();
  }
  for (QThread* t : pending) t->wait();
}

}  // namespace dudorazu::shell
