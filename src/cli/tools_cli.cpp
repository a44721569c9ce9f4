#include "cli/tools_cli.h"

#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_support.h"
#include "core/tools/tool_messages.h"

namespace dudorazu::cli {
namespace {

std::atomic<ProgressBlock*> interruptTarget{nullptr};
struct sigaction previousAction;

void onInterrupt(int) {
  if (ProgressBlock* block = interruptTarget.load()) block->cancel();
}

}  // namespace

void CliMessages::show(const std::string& text, const std::string& caption) {
  // Only the completion messages are results; every other message box of
  // the tools is a refusal or a failure, whatever its caption.
  if (caption == kCaptionSuccess || text == kMsgImagingDone) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  } else {
    errorShown_ = true;
    printError(command_, text);
  }
}

InterruptStops::InterruptStops(ProgressBlock& block) {
  interruptTarget.store(&block);
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousAction);
}

InterruptStops::~InterruptStops() {
  sigaction(SIGINT, &previousAction, nullptr);
  interruptTarget.store(nullptr);
}

std::string canonicalSource(const std::string& text) {
  char resolved[PATH_MAX];
  if (!pathExists(text) || !::realpath(text.c_str(), resolved)) return text;
  return resolved;
}

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace dudorazu::cli
