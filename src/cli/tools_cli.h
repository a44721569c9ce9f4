#pragma once
// What the partition-tool commands share: messages printed the way a
// terminal user reads them.
#include <string>

#include "core/common/messages.h"

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

}  // namespace dudorazu::cli
