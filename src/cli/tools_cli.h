#pragma once
// What the partition-tool commands share: messages printed the way a
// terminal user reads them, Ctrl-C as the stop button, and stable paths.
#include <string>

#include "core/common/messages.h"
#include "core/common/progress_block.h"

namespace dudorazu::cli {

// Completion messages ("备份成功", "恢复成功", "镜像完毕") go to stdout; every
// other message is a refusal or failure and goes to stderr as
// "dudorazu-cli COMMAND: text". Remembers whether one was shown.
class CliMessages : public MessageSink {
 public:
  explicit CliMessages(const char* command) : command_(command) {}
  void show(const std::string& text, const std::string& caption) override;
  bool errorShown() const { return errorShown_; }

 private:
  const char* command_;
  bool errorShown_ = false;
};

// While alive, Ctrl-C sets the block's cancel flag instead of killing the
// process, so a search or a copy stops cleanly and keeps what it wrote.
class InterruptStops {
 public:
  explicit InterruptStops(ProgressBlock& block);
  ~InterruptStops();
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;
};

// An existing path made absolute and free of links, so a disk catalogued
// from it carries the same devicePath whatever directory the user is in
// (partition-table backups compare it); other texts unchanged.
std::string canonicalSource(const std::string& text);

bool pathExists(const std::string& path);

}  // namespace dudorazu::cli
