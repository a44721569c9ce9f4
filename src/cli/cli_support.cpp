#include "cli/cli_support.h"

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/common/text.h"
#include "core/device/map_limited_device.h"
#include "core/device/source_path.h"
#include "core/partitions/exfat_boot_copy.h"
#include "core/tools/partition_search.h"
#include "platform/image_file.h"
#include "platform/platform.h"

namespace dudorazu::cli {

bool takeFlag(Args& args, const std::string& flag) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it == flag) {
      args.erase(it);
      return true;
    }
  }
  return false;
}

bool takeOption(Args& args, const std::string& opt, std::string& value, bool& missingValue) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == opt) {
      if (i + 1 >= args.size()) {
        missingValue = true;
        args.erase(args.begin() + static_cast<long>(i));
        return false;
      }
      value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
    if (args[i].rfind(opt + "=", 0) == 0) {
      value = args[i].substr(opt.size() + 1);
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

std::vector<std::string> takeOptions(Args& args, const std::string& opt, bool& missingValue) {
  std::vector<std::string> values;
  std::string v;
  while (takeOption(args, opt, v, missingValue)) values.push_back(v);
  return values;
}

bool rejectUnknownOptions(const Args& args, const char* command) {
  for (const std::string& a : args) {
    if (a.size() > 1 && a[0] == '-') {
      printError(command, "unknown option '" + a + "' (see --help)");
      return true;
    }
  }
  return false;
}

bool takeHelp(Args& args) { return takeFlag(args, "--help") || takeFlag(args, "-h"); }

bool helpShown(Args& args, const std::string& usage) {
  if (!takeHelp(args)) return false;
  std::fputs(usage.c_str(), stdout);
  return true;
}

bool argumentsFit(const Args& args, const char* command, size_t least, size_t most, const char* need) {
  if (rejectUnknownOptions(args, command)) return false;
  if (args.size() >= least && args.size() <= most) return true;
  printError(command, std::string(need) + " (see --help)");
  return false;
}

void printError(const char* command, const std::string& message) {
  // Messages carry names read from disks and files.
  std::fprintf(stderr, "dudorazu-cli %s: %s\n", command, printableText(message).c_str());
}

std::string openProblemText() {
  std::string problem = platform::lastOpenProblem();
  return problem.empty() ? problem : ": " + problem;
}

void addMachineDrives(DiskCatalogue& catalogue, DriveEnumerator* enumerator) {
  std::unique_ptr<DriveEnumerator> platformEnumerator;
  if (!enumerator) {
    platformEnumerator = platform::makeDriveEnumerator();
    enumerator = platformEnumerator.get();
  }
  // A drive whose identification cannot be read is dropped; say why.
  class StderrSink : public MessageSink {
   public:
    void show(const std::string& text, const std::string& caption) override {
      std::fprintf(stderr, "dudorazu-cli: %s: %s\n", caption.c_str(), printableText(text).c_str());
    }
  } messages;
  buildDiskCatalogue(catalogue, *enumerator, messages);
  std::string note = unopenedDrivesNote(catalogue.unopenedDrives, platform::runsAsAdministrator());
  if (!note.empty()) std::fprintf(stderr, "dudorazu-cli: %s\n", note.c_str());
}

DiskRecord* resolveSource(DiskCatalogue& catalogue, const std::string& source, const char* command) {
  if (DiskRecord* d = findDisk(catalogue, source)) return d;
  platform::PathKind kind = platform::pathKind(source);
  if (kind != platform::PathKind::Missing) {
    if (kind == platform::PathKind::Folder) {
      printError(command, "'" + source + "' is a folder, not a disk or image file");
      return nullptr;
    }
    if (!openImageAsDisk(catalogue, canonicalSource(source))) {
      printError(command, "cannot open '" + source + "' for reading" + openProblemText());
      return nullptr;
    }
    return &catalogue.disks.back();
  }
  if (source.find('/') == std::string::npos) {
    addMachineDrives(catalogue);
    if (DiskRecord* d = findDisk(catalogue, source)) return d;
  }
  printError(command, "no image file, device or disk named '" + source + "'");
  return nullptr;
}

bool limitSourceToMap(const std::string& source, const std::string& mapfile, const char* command) {
  std::string error;
  std::optional<RescueMap> loaded = RescueMap::load(mapfile, error);
  if (!loaded) {
    printError(command, error);
    return false;
  }
  auto map = std::make_shared<const RescueMap>(std::move(*loaded));
  const RescueCounts counts = map->counts(map->extent());
  std::fprintf(stderr, "%s: reading only what the map calls finished: %llu byte(s) of %llu unfinished read as bad\n",
               command, static_cast<unsigned long long>(counts.unfinished()),
               static_cast<unsigned long long>(map->extent().length()));
  limitReadsToMap(source, map);
  if (platform::pathKind(source) != platform::PathKind::Missing) limitReadsToMap(canonicalSource(source), map);
  return true;
}

PartitionRecord* resolvePartition(DiskRecord& disk, const std::string& text, const char* command) {
  if (PartitionRecord* p = findPartitionOrFoundVolume(disk, text)) return p;
  if (std::optional<uint64_t> start = parseFoundVolumeAddress(text)) {
    printError(command, "no exFAT boot sector (main or backup) makes a volume start at sector " +
                            std::to_string(*start) + " of " + displayName(disk));
    return nullptr;
  }
  std::string known;
  for (const PartitionRecord& p : disk.partitions) known += (known.empty() ? "" : ", ") + partitionText(p);
  printError(command, "no partition '" + text + "' on " + displayName(disk) +
                          (known.empty() ? " (it has no partitions" : " (partitions: " + known) +
                          "; a volume search found is named by its start, as search prints it: @SECTOR)");
  return nullptr;
}

PartitionRecord* resolveExfatPartition(DiskRecord& disk, const std::string& text, const char* command) {
  PartitionRecord* p = resolvePartition(disk, text, command);
  if (p && !holdsExfatVolume(*p)) {
    printError(command, "partition '" + text + "' does not hold an exFAT volume");
    return nullptr;
  }
  if (p && p->exfatFromBackupBootSector) {
    printError(command, "partition '" + text + "': its main boot sector is not exFAT; reading the volume through "
                        "its backup boot sector (sector " +
                            std::to_string(static_cast<uint64_t>(p->startSector) + kBackupDistance) + ")");
  }
  return p;
}

bool pathExists(const std::string& path) {
  return platform::pathKind(path) != platform::PathKind::Missing;
}

bool resolveExfatTarget(DiskCatalogue& catalogue, const std::string& source, const std::string& partition,
                        const char* command, ExfatTarget& target) {
  target.disk = resolveSource(catalogue, source, command);
  if (!target.disk) return false;
  target.partition = resolveExfatPartition(*target.disk, partition, command);
  return target.partition != nullptr;
}

bool confirm(const std::string& question, bool yes) {
  if (yes) return true;
  if (!::isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "%s\nrefused: no terminal to confirm on; pass --yes to go ahead\n", question.c_str());
    return false;
  }
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

bool CliQuestions::confirm(const Question& question) {
  if (question.kind == Question::Kind::ReplaceFile) {
    if (!yes_) printError(command_, "'" + question.path + "' exists; pass --yes to replace it");
    return yes_;
  }
  return cli::confirm(std::string(command_) + ": " + question.text, yes_);
}

namespace {

std::atomic<ProgressBlock*> interruptTarget{nullptr};
// std::signal rather than sigaction, so the Windows build (Ctrl+C) shares it.
void (*previousHandler)(int) = SIG_DFL;
void onInterrupt(int) {
  if (ProgressBlock* block = interruptTarget.load()) block->cancel();  // one lock-free store
}

// While alive, Ctrl-C sets the block's cancel flag.
class InterruptStops {
 public:
  explicit InterruptStops(ProgressBlock& block) {
    interruptTarget.store(&block);
    previousHandler = std::signal(SIGINT, onInterrupt);
    if (previousHandler == SIG_ERR) previousHandler = SIG_DFL;
  }
  ~InterruptStops() {
    std::signal(SIGINT, previousHandler);
    interruptTarget.store(nullptr);
  }
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;
};

// Draws a bar on stderr from a thread of its own, when stderr is a terminal.
class ProgressBar {
 public:
  ProgressBar(ProgressBlock& block, std::string title);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct ProgressBar::State {
  ProgressBlock& block;
  std::string title;
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread thread;
  explicit State(ProgressBlock& b, std::string t) : block(b), title(std::move(t)) {}

  void draw() {
    uint64_t up = block.upper();
    uint64_t pos = block.position();
    int percent = up ? static_cast<int>(pos * 100 / up) : 0;
    int filled = percent * 30 / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(30, '.');
    std::string text = printableText(block.text());  // a search shows the labels it finds
    if (text.size() > 40) text.resize(40);
    std::fprintf(stderr, "\r%s [%s] %3d%% %s\033[K", title.c_str(), bar.c_str(), percent, text.c_str());
    std::fflush(stderr);
  }
};

ProgressBar::ProgressBar(ProgressBlock& block, std::string title) {
  if (!::isatty(STDERR_FILENO)) return;
  state_ = std::make_unique<State>(block, std::move(title));
  state_->thread = std::thread([s = state_.get()] {
    std::unique_lock<std::mutex> lock(s->mutex);
    uint64_t seen = ~0ull;
    while (!s->done) {
      if (s->block.updates() != seen) {
        seen = s->block.updates();
        s->draw();
      }
      s->wake.wait_for(lock, std::chrono::milliseconds(200));
    }
  });
}

ProgressBar::~ProgressBar() {
  if (!state_) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->done = true;
  }
  state_->wake.notify_all();
  state_->thread.join();
  state_->draw();
  std::fprintf(stderr, "\n");
}

}  // namespace

bool runOperation(const LongOperation& operation, ProgressBlock& progress, MessageSink& messages,
                  Questions& questions) {
  std::optional<InterruptStops> stops;
  if (operation.stoppable) stops.emplace(progress);
  ProgressBar bar(progress, operation.title);
  return runLongOperation(operation, progress, messages, questions);
}

bool runOperation(const LongOperation& operation, ProgressBlock& progress) {
  NullMessageSink messages;
  RecordingQuestions questions(false);
  return runOperation(operation, progress, messages, questions);
}

void appendJsonString(std::string& out, std::string_view raw) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  // Plain ASCII is copied in runs: names and keys are mostly that, and a
  // listing of a million records escapes a dozen strings for each.
  auto plain = [](unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; };
  for (size_t i = 0; i < raw.size();) {
    size_t run = i;
    while (run < raw.size() && plain(static_cast<unsigned char>(raw[run]))) ++run;
    out.append(raw, i, run - i);
    if (run == raw.size()) break;
    i = run;
    uint32_t cp = 0;
    const size_t length = validUtf8Length(raw, i, cp);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no valid sequence
      ++i;
      continue;
    }
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        // Controls and reordering marks stay in the data but never reach a
        // terminal that prints the JSON raw.
        if (isTerminalControl(cp)) {
          const char escaped[] = {'\\', 'u', kHex[(cp >> 12) & 15], kHex[(cp >> 8) & 15], kHex[(cp >> 4) & 15], kHex[cp & 15]};
          out.append(escaped, sizeof escaped);
        } else {
          out.append(raw, i, length);
        }
    }
    i += length;
  }
  out.push_back('"');
}

std::string jsonEscape(std::string_view raw) {
  std::string out;
  out.reserve(raw.size() + 2);
  appendJsonString(out, raw);
  return out;
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_.push_back(',');
    first_.back() = false;
  }
}

JsonWriter& JsonWriter::open(char bracket) {
  separate();
  out_.push_back(bracket);
  first_.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::close(char bracket) {
  out_.push_back(bracket);
  first_.pop_back();
  return *this;
}
JsonWriter& JsonWriter::key(std::string_view k) {
  separate();
  appendJsonString(out_, k);
  out_.push_back(':');
  afterKey_ = true;
  return *this;
}
JsonWriter& JsonWriter::value(std::string_view v) {
  separate();
  appendJsonString(out_, v);
  return *this;
}
JsonWriter& JsonWriter::value(uint64_t v) {
  separate();
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
  return *this;
}
JsonWriter& JsonWriter::value(int64_t v) {
  separate();
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
  return *this;
}
JsonWriter& JsonWriter::value(bool v) {
  separate();
  out_ += v ? "true" : "false";
  return *this;
}

}  // namespace dudorazu::cli
