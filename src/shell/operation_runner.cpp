#include "shell/operation_runner.h"

#include <QPointer>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "shell/user_dialogs.h"

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
          const QString caption = question.kind == Question::Kind::ConfirmWrite ? QStringLiteral("警告")
                                                                                 : applicationTitle();
          bool yes = dialogs.confirm(window, QString::fromStdString(question.text), caption);
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

struct OperationRunner::Run {
  LongOperation operation;
  OperationView* view = nullptr;
  Finish finish;
  ProgressBlock ownBlock;  // when no view shows the run
  ProgressBlock* block = nullptr;
  uint64_t seenUpdates = 0;
  std::shared_ptr<Exchange> exchange = std::make_shared<Exchange>();
  QThread* thread = nullptr;
  bool succeeded = false;  // written by the worker, read once it has ended

  void releaseMarker() {
    if (operation.marker) operation.marker->release();
    operation.marker = nullptr;
  }
};

OperationRunner::OperationRunner(UserDialogs& dialogs, QWidget* window) : dialogs_(dialogs), window_(window) {
  timer_.setInterval(kPollMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &OperationRunner::poll);
}

OperationRunner::~OperationRunner() {
  for (const std::unique_ptr<Run>& run : runs_) {
    run->block->cancel();
    std::lock_guard<std::mutex> lock(run->exchange->mutex);
    run->exchange->abandoned = true;
    run->exchange->answered.notify_all();
  }
  for (const std::unique_ptr<Run>& run : runs_) {
    run->thread->wait();
    delete run->thread;
    run->releaseMarker();
  }
}

bool OperationRunner::start(LongOperation operation, OperationView* view, Finish finish) {
  // A window that is closing starts nothing new.
  if (closeWhenIdle_) return false;
  if (operation.marker) {
    DialogMessageSink refusals(dialogs_, window_);
    if (!operation.marker->take(refusals)) return false;
  }
  auto run = std::make_unique<Run>();
  run->operation = std::move(operation);
  run->view = view;
  run->finish = std::move(finish);
  run->block = view ? &view->block() : &run->ownBlock;
  if (view) view->begin();
  run->seenUpdates = run->block->updates();
  Run* r = run.get();
  r->thread = QThread::create([r, context = this, &dialogs = dialogs_, window = window_] {
    KeptMessages messages(*r->exchange);
    PostedQuestions questions(r->exchange, context, dialogs, window);
    r->succeeded = r->operation.run(*r->block, messages, questions);
  });
  connect(r->thread, &QThread::finished, this, [this, r] { ended(r); });
  runs_.push_back(std::move(run));
  if (view) timer_.start();
  r->thread->start();
  return true;
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

void OperationRunner::ended(Run* r) {
  auto at = std::find_if(runs_.begin(), runs_.end(), [r](const std::unique_ptr<Run>& run) { return run.get() == r; });
  if (at == runs_.end()) return;
  std::unique_ptr<Run> run = std::move(*at);
  runs_.erase(at);
  if (runs_.empty()) timer_.stop();
  run->thread->wait();
  run->thread->deleteLater();
  run->releaseMarker();

  OperationEnd end;
  end.succeeded = run->succeeded;
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
  for (const std::unique_ptr<Run>& run : runs_) run->block->cancel();
}

bool OperationRunner::closeWhenIdle(std::function<void()> close) {
  if (runs_.empty()) return true;
  closeWhenIdle_ = std::move(close);
  stopAll();
  return false;
}

}  // namespace dudorazu::shell
