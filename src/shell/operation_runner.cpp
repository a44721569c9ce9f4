#include "shell/operation_runner.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <optional>

#include "shell/user_dialogs.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
namespace {

constexpr int kPollMilliseconds = 50;

// What the worker and the window thread share about one run.
struct Exchange {
  std::mutex mutex;
  std::condition_variable answered;
  bool abandoned = false;  // the runner is going: open questions get "no"
  std::vector<RecordingMessageSink::Message> messages;
};

class KeptMessages : public MessageSink {
 public:
  explicit KeptMessages(Exchange& exchange) : exchange_(exchange) {}
  void show(const std::string& text, const std::string& caption) override {
    std::lock_guard<std::mutex> lock(exchange_.mutex);
    exchange_.messages.push_back({text, caption});
  }

 private:
  Exchange& exchange_;
};

// A question is put on the window thread; the worker waits for the answer.
class PostedQuestions : public Questions {
 public:
  PostedQuestions(std::shared_ptr<Exchange> exchange, QObject* context, UserDialogs& dialogs, QWidget* window)
      : exchange_(std::move(exchange)), context_(context), dialogs_(dialogs), window_(window) {}

  bool confirm(const Question& question) override {
    auto answer = std::make_shared<std::optional<bool>>();
    {
      std::lock_guard<std::mutex> lock(exchange_->mutex);
      if (exchange_->abandoned) return false;
    }
    QMetaObject::invokeMethod(
        context_,
        [exchange = exchange_, answer, question, &dialogs = dialogs_, window = window_] {
          const QString caption = question.kind == Question::Kind::ConfirmWrite
                                      ? QCoreApplication::translate("OperationRunner", "警告")
                                      : applicationTitle();
          bool yes = dialogs.confirm(window, widgets::coreText(question.text), caption);
          std::lock_guard<std::mutex> lock(exchange->mutex);
          *answer = yes;
          exchange->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(exchange_->mutex);
    exchange_->answered.wait(lock, [&] { return answer->has_value() || exchange_->abandoned; });
    return answer->value_or(false);
  }

 private:
  std::shared_ptr<Exchange> exchange_;
  QObject* context_;
  UserDialogs& dialogs_;
  QWidget* window_;
};

}  // namespace

ProcessMarkers& processMarkers() {
  static ProcessMarkers markers;
  return markers;
}

// Lets a completion called on any thread reach the runner while it lives.
struct OperationRunner::Posting {
  std::mutex mutex;
  OperationRunner* runner = nullptr;
  void post(uint64_t id, std::optional<bool> succeeded) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!runner) return;
    OperationRunner* r = runner;
    // Work that never got going is ended before its starter goes on.
    if (QThread::currentThread() == r->thread()) {
      lock.unlock();
      r->ended(id, succeeded);
      return;
    }
    QMetaObject::invokeMethod(r, [r, id, succeeded] { r->ended(id, succeeded); }, Qt::QueuedConnection);
  }
};

struct OperationRunner::Run {
  uint64_t id = 0;
  RunningMarker* marker = nullptr;
  RunningMarker* busy = nullptr;
  LongOperation operation;
  OperationView* view = nullptr;
  Finish finish;
  ProgressBlock ownBlock;  // when no view shows the run
  ProgressBlock* block = nullptr;
  uint64_t seenUpdates = 0;
  std::shared_ptr<Exchange> exchange = std::make_shared<Exchange>();
  QThread* thread = nullptr;  // none for tracked work
  bool succeeded = false;     // written by the worker, read once it has ended
  // Set last by the worker: everything the run wrote is seen by the window
  // thread once it reads this (Qt's own thread end is not a fence the
  // thread sanitizer sees).
  std::atomic<bool> ran{false};

  void releaseMarkers() {
    if (marker) marker->release();
    if (busy) busy->release();
    marker = busy = nullptr;
  }
};

OperationRunner::OperationRunner(UserDialogs& dialogs, QWidget* window, RunningMarker* busy)
    : dialogs_(dialogs), window_(window), busy_(busy), posting_(std::make_shared<Posting>()) {
  posting_->runner = this;
  timer_.setInterval(kPollMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &OperationRunner::poll);
}

OperationRunner::~OperationRunner() {
  {
    std::lock_guard<std::mutex> lock(posting_->mutex);
    posting_->runner = nullptr;
  }
  for (const std::unique_ptr<Run>& run : runs_) {
    run->block->cancel();
    std::lock_guard<std::mutex> lock(run->exchange->mutex);
    run->exchange->abandoned = true;
    run->exchange->answered.notify_all();
  }
  for (const std::unique_ptr<Run>& run : runs_) {
    if (run->thread) {
      run->thread->wait();
      delete run->thread;
    }
    run->releaseMarkers();
  }
}

OperationRunner::Run* OperationRunner::enter(RunningMarker* marker, OperationView* view, Finish finish) {
  // A window that is closing starts nothing new.
  if (closeWhenIdle_) return nullptr;
  if (marker) {
    DialogMessageSink refusals(dialogs_, window_);
    if (!marker->take(refusals)) return nullptr;
  }
  if (busy_) {
    NullMessageSink counted;  // a counter never refuses
    busy_->take(counted);
  }
  auto run = std::make_unique<Run>();
  run->id = nextId_++;
  run->marker = marker;
  run->busy = busy_;
  run->view = view;
  run->finish = std::move(finish);
  run->block = view ? &view->block() : &run->ownBlock;
  if (view) view->begin();
  run->seenUpdates = run->block->updates();
  runs_.push_back(std::move(run));
  if (view) timer_.start();
  return runs_.back().get();
}

bool OperationRunner::start(LongOperation operation, OperationView* view, Finish finish) {
  RunningMarker* marker = operation.marker;
  operation.marker = nullptr;  // the runner holds it, released on the window thread
  Run* r = enter(marker, view, std::move(finish));
  if (!r) return false;
  r->operation = std::move(operation);
  r->thread = QThread::create([r, context = this, &dialogs = dialogs_, window = window_] {
    KeptMessages messages(*r->exchange);
    PostedQuestions questions(r->exchange, context, dialogs, window);
    r->succeeded = r->operation.run(*r->block, messages, questions);
    r->ran.store(true, std::memory_order_release);
  });
  connect(r->thread, &QThread::finished, this, [this, id = r->id] { ended(id, std::nullopt); });
  r->thread->start();
  return true;
}

void OperationRunner::releaseElsewhere(std::shared_ptr<void> held) {
  // A thread started with what it holds: the hand-over is one that
  // ThreadSanitizer sees, unlike one through Qt's thread pool.
  std::thread([held = std::move(held)]() mutable { held.reset(); }).detach();
}

OperationRunner::Completion OperationRunner::track(RunningMarker* marker, OperationView* view, Finish finish) {
  Run* r = enter(marker, view, std::move(finish));
  if (!r) return {};
  // Called once; a second call finds the run gone.
  return [posting = posting_, id = r->id](bool succeeded) { posting->post(id, succeeded); };
}

void OperationRunner::poll() {
  for (const std::unique_ptr<Run>& run : runs_) {
    if (!run->view) continue;
    const uint64_t updates = run->block->updates();
    if (updates == run->seenUpdates) continue;
    run->seenUpdates = updates;
    run->view->showProgress();
  }
}

void OperationRunner::ended(uint64_t id, std::optional<bool> succeeded) {
  auto at = std::find_if(runs_.begin(), runs_.end(), [id](const std::unique_ptr<Run>& run) { return run->id == id; });
  if (at == runs_.end()) return;
  std::unique_ptr<Run> run = std::move(*at);
  runs_.erase(at);
  if (runs_.empty()) timer_.stop();
  if (run->thread) {
    run->thread->wait();
    run->thread->deleteLater();
    run->ran.load(std::memory_order_acquire);
  } else {
    // What tracked work wrote before its completion was posted.
    std::lock_guard<std::mutex> lock(posting_->mutex);
  }
  run->releaseMarkers();

  OperationEnd end;
  end.succeeded = succeeded.value_or(run->succeeded);
  end.stopped = run->block->cancelled();
  {
    std::lock_guard<std::mutex> lock(run->exchange->mutex);
    end.messages = std::move(run->exchange->messages);
  }
  if (run->view) {
    run->view->showProgress();
    run->view->end();
  }
  QPointer<OperationRunner> alive(this);
  if (run->finish) run->finish(end);
  if (!alive) return;
  DialogMessageSink messages(dialogs_, window_);
  for (const RecordingMessageSink::Message& m : end.messages) messages.show(m.text, m.caption);
  if (!runs_.empty()) return;
  emit idle();
  if (closeWhenIdle_) {
    std::function<void()> close = std::move(closeWhenIdle_);
    closeWhenIdle_ = nullptr;
    close();
  }
}

void OperationRunner::stopAll() {
  for (const std::unique_ptr<Run>& run : runs_) {
    run->block->cancel();
    if (run->view) run->view->stopping();
  }
}

QStringList OperationRunner::runningTitles() const {
  QStringList titles;
  for (const std::unique_ptr<Run>& run : runs_) {
    QString title = widgets::coreText(run->operation.title);
    if (auto* shown = dynamic_cast<QWidget*>(run->view); title.isEmpty() && shown) title = shown->windowTitle();
    if (!title.isEmpty() && !titles.contains(title)) titles << title;
  }
  return titles;
}

QString stopQuestion(const QStringList& titles, const QString& action, const QString& question) {
  if (titles.isEmpty()) return question;
  QStringList works;
  for (QString t : titles) {
    if (t.startsWith(QStringLiteral("正在"))) t.remove(0, 2);
    if (!works.contains(t)) works << t;
  }
  return QCoreApplication::translate("OperationRunner", "正在%1，%2将停止%3。\n\n%4")
      .arg(works.join(QCoreApplication::translate("OperationRunner", "、")), action,
           works.size() > 1 ? QCoreApplication::translate("OperationRunner", "它们")
                            : QCoreApplication::translate("OperationRunner", "它"),
           question);
}

bool OperationRunner::closeWhenIdle(std::function<void()> close) {
  if (runs_.empty()) return true;
  closeWhenIdle_ = std::move(close);
  stopAll();
  return false;
}

}  // namespace dudorazu::shell
