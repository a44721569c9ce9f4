#pragma once
// Messages and questions leave the core through these interfaces; the GUI
// shows message boxes, the command line prints, tests record.
#include <string>
#include <vector>

namespace dudorazu {

// Captions used with the messages.
inline constexpr const char* kCaptionError = "error";
inline constexpr const char* kCaptionWaiting = "waiting";
inline constexpr const char* kCaptionSuccess = "sucess";  // the caption as users know it
inline constexpr const char* kCaptionSystemError = "Error";
inline constexpr const char* kApplicationTitle = "dudorazu";

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void show(const std::string& text, const std::string& caption) = 0;
};

// Drops every message.
class NullMessageSink : public MessageSink {
 public:
  void show(const std::string&, const std::string&) override {}
};

// Keeps every message, for tests and for front ends that show them later.
class RecordingMessageSink : public MessageSink {
 public:
  struct Message {
    std::string text;
    std::string caption;
  };
  void show(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption});
  }
  std::vector<Message> messages;
};

}  // namespace dudorazu
