#pragma once
// Messages and questions leave the core through these interfaces; the GUI
// shows message boxes and dialogs, the command line prints and prompts,
// tests record and answer.
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

// A question the user answers before an operation goes on: the GUI shows a
// dialog, the command line prompts on its terminal, tests answer.
struct Question {
  enum class Kind {
    ConfirmWrite,  // a write to a disk or a file that replaces what is there
    ReplaceFile,   // an output file that exists; `path` names it
  };
  Kind kind = Kind::ConfirmWrite;
  std::string text;  // the whole question, ready to show
  std::string path;
};

class Questions {
 public:
  virtual ~Questions() = default;
  // True when the user lets the operation go on.
  virtual bool confirm(const Question& question) = 0;
};

// Gives one answer to every question and keeps what was asked.
class RecordingQuestions : public Questions {
 public:
  explicit RecordingQuestions(bool answer = false) : answer_(answer) {}
  bool confirm(const Question& question) override {
    asked.push_back(question);
    return answer_;
  }
  std::vector<Question> asked;

 private:
  bool answer_;
};

}  // namespace dudorazu
