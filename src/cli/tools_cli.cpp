#include "cli/tools_cli.h"

#include <cstdio>

#include "cli/cli_support.h"
#include "core/common/text.h"
#include "core/tools/tool_messages.h"

namespace dudorazu::cli {

void CliMessages::show(const std::string& text, const std::string& caption) {
  // Only the completion messages are results; every other message box of
  // the tools is a refusal or a failure, whatever its caption.
  if (caption == kCaptionSuccess || text == kMsgImagingDone) {
    std::printf("%s\n", printableText(text).c_str());
    std::fflush(stdout);
  } else {
    errorShown_ = true;
    printError(command_, text);
  }
}

}  // namespace dudorazu::cli
