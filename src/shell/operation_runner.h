#pragma once
// How every long operation of the windows runs. A window builds a core
// LongOperation (title, running marker, stoppable, run) and hands it to its
// OperationRunner with a view and one finishing step; it never starts a
// thread, keeps a flag of its own or waits.
//
// Starts:   start() takes the operation's marker; while another operation of
//           that kind runs the marker's refusal (the core's wait text) is
//           shown through the dialog seam and nothing starts. Otherwise the
//           view is begun (fresh block, shown) and the run goes to a worker
//           thread the runner owns.
// Progress: the run writes to the view's ProgressBlock; the runner looks at
//           every block on one timer on the window thread and tells the view
//           when it changed. The worker never waits for the window.
// Stops:    "停止" or the view's close box sets the block's cancel flag; a
//           stoppable run tests it and ends early. stopAll() does it for
//           every running operation.
// Asks:     a Question the run puts is answered through UserDialogs on the
//           window thread while the worker waits for the answer.
// Reports:  what the run sends to its MessageSink is kept, handed to the
//           finishing step and then shown through the dialog seam in order
//           (a step that words the end itself takes the messages out).
// Ends:     once the worker has ended, on the window thread: the marker is
//           released (so the step may start the next operation), the view
//           is ended, the finishing step runs, the messages are shown.
//           Work that runs on threads of its own (the save scheduler's) is
//           tracked instead: its completion, called on any thread, posts the
//           same end to the window thread; nothing waits for it.
// Closes:   closeWhenIdle() is the one closing rule of tabs and the program:
//           with nothing running it says "close now"; otherwise it asks
//           every operation to stop and closes once the last has ended.
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/common/long_operation.h"

class QWidget;

namespace dudorazu::shell {

class UserDialogs;

// The markers the whole program shares, one per kind of operation.
ProcessMarkers& processMarkers();

// What shows a running operation; called on the window thread only.
class OperationView {
 public:
  virtual ~OperationView() = default;
  virtual ProgressBlock& block() = 0;
  // A new run: the cancel flag down, the view shown.
  virtual void begin() = 0;
  // The block changed since the last look.
  virtual void showProgress() = 0;
  // The run is over; before the finishing step.
  virtual void end() = 0;
  // Something other than the view's own "停止" (the program or a tab
  // closing) asked the run to stop: the view says it is stopping.
  virtual void stopping() {}
};

// How a run ended, for its finishing step.
struct OperationEnd {
  bool succeeded = false;  // the run did what it was asked to
  bool stopped = false;    // the cancel flag was up when it ended
  // What the run said, in order; shown after the finishing step unless the
  // step takes them.
  std::vector<RecordingMessageSink::Message> messages;
};

// The question asked before `action` ("退出", "关闭") stops the work named
// by `titles`: "正在保存文件、镜像，退出将停止它们。" and then `question`.
QString stopQuestion(const QStringList& titles, const QString& action, const QString& question);

class OperationRunner : public QObject {
  Q_OBJECT
 public:
  using Finish = std::function<void(OperationEnd&)>;

  // Messages and questions go to `window`. `busy`, when given, is a counter
  // every run of this runner holds: a window's "an operation runs" marker.
  OperationRunner(UserDialogs& dialogs, QWidget* window, RunningMarker* busy = nullptr);
  // Only reached with work running when the closing rule was bypassed: the
  // work is stopped and waited for, as it points into what the window owns.
  ~OperationRunner() override;

  // False when the marker refused. `view` may be null (the run then gets a
  // block of its own and nothing shows it).
  bool start(LongOperation operation, OperationView* view, Finish finish = {});
  // Work started elsewhere, with the marker, view and finishing step of a
  // run; the returned completion ends it (its argument is the run's result)
  // and may be called from any thread, also after the runner has gone; on
  // the window thread (work that could not start) it ends the run at once.
  // Empty when the marker refused.
  using Completion = std::function<void(bool succeeded)>;
  Completion track(RunningMarker* marker, OperationView* view, Finish finish);
  bool running() const { return !runs_.empty(); }
  // What runs, by the titles of its progress windows, each named once.
  QStringList runningTitles() const;
  void stopAll();
  // True when the closer may go now; else the work was asked to stop and
  // `close` runs once it has ended (the latest `close` given wins).
  bool closeWhenIdle(std::function<void()> close);
  // Lets go of `held` on a thread of its own: freeing what a closed window
  // loaded (a million records) must not hold the window thread still.
  static void releaseElsewhere(std::shared_ptr<void> held);

 signals:
  // The last running operation has ended and its finishing step has run.
  void idle();

 private:
  struct Run;
  struct Posting;
  Run* enter(RunningMarker* marker, OperationView* view, Finish finish);
  void poll();
  void ended(uint64_t id, std::optional<bool> succeeded);

  UserDialogs& dialogs_;
  QWidget* window_;
  RunningMarker* busy_;
  std::vector<std::unique_ptr<Run>> runs_;
  uint64_t nextId_ = 1;
  std::shared_ptr<Posting> posting_;
  QTimer timer_;
  std::function<void()> closeWhenIdle_;
};

}  // namespace dudorazu::shell
