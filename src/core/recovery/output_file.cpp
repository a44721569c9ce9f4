#include "core/recovery/output_file.h"

#include "core/recovery/name_repair.h"
#include "platform/files.h"

namespace dudorazu {
namespace {

// Derived names are tried up to this counter; past it the file is reported
// as not created rather than probing forever.
constexpr uint64_t kMaxCounter = 10'000'000;

bool isFolder(const std::string& path) { return platform::pathKind(path) == platform::PathKind::Folder; }

// The counter goes before the extension of the name itself; a dot in a
// folder above does not count (photos.2019/README -> photos.2019/README0).
std::string derivedName(const std::string& path, uint64_t n) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && slash != std::string::npos && dot < slash) dot = std::string::npos;
  std::string candidate = path + std::to_string(n);
  if (dot != std::string::npos) candidate += path.substr(dot);
  // A long name plus its counter may pass the component limit: shorten the
  // stem instead of failing.
  size_t leafStart = slash == std::string::npos ? 0 : slash + 1;
  size_t leafLength = candidate.size() - leafStart;
  if (leafLength > kMaxNameBytes) {
    std::string suffix = std::to_string(n);
    if (dot != std::string::npos && dot >= leafStart) suffix += path.substr(dot);
    std::string stem = path.substr(leafStart);
    if (suffix.size() >= kMaxNameBytes) return candidate;
    size_t keep = kMaxNameBytes - suffix.size();
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
    candidate = path.substr(0, leafStart) + stem.substr(0, keep) + suffix;
  }
  return candidate;
}

// NameTaken: every name up to the counter's limit is taken. FolderMissing:
// a folder above is missing. Refused: the target refuses this name; no other
// name will help. `create(name)` tries one name; `key` is what the namespace
// remembers the next counter under.
template <class Create>
platform::CreateOutcome openFirstFree(const std::string& name, const std::string& key, SaveNamespace* names,
                                      std::string& opened, Create&& create) {
  using platform::CreateOutcome;
  CreateOutcome outcome = create(name);
  if (outcome != CreateOutcome::NameTaken) {
    opened = name;
    return outcome;
  }
  uint64_t n = names ? names->nextCounter(key) : 0;
  for (; n < kMaxCounter; ++n) {
    std::string candidate = derivedName(name, n);
    outcome = create(candidate);
    if (outcome != CreateOutcome::NameTaken) {
      if (outcome == CreateOutcome::Created && names) names->setNextCounter(key, n + 1);
      opened = std::move(candidate);
      return outcome;
    }
  }
  return CreateOutcome::NameTaken;
}

// The namespace's key of a name in a held folder: the folder's identity, so
// that the key stays short however deep the folder lies.
std::string heldKey(const platform::FolderHandle& folder, const std::string& name) {
  return std::to_string(folder.device()) + ":" + std::to_string(folder.object()) + "/" + name;
}

}  // namespace

uint64_t OutputFile::copyFrom(SectorDevice& device, uint64_t offset, uint64_t length) {
  // The device gives the file the length of what it dealt with, holes too.
  uint64_t n = device.copyToFile(offset, length, handle_, end_);
  end_ += n;
  if (n > 0) mayEndShort_ = false;
  return n;
}

bool OutputFile::write(const void* data, size_t length) {
  size_t done = handle_.writeAt(end_, data, length);
  end_ += done;
  mayEndShort_ = false;
  return done == length;
}

bool OutputFile::close() {
  if (!handle_.isOpen()) return true;
  // A hole at the end needs the length set explicitly.
  bool ok = !mayEndShort_ || handle_.extendTo(end_);
  // Through the open file: no second path lookup, and nothing after it
  // touches the time again.
  if (modified_) handle_.setModifiedTime(*modified_);
  return handle_.close() && ok;
}

uint64_t SaveNamespace::nextCounter(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counters_.find(path);
  return it == counters_.end() ? 0 : it->second;
}

void SaveNamespace::setNextCounter(const std::string& path, uint64_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t& slot = counters_[path];
  if (n > slot) slot = n;
}

void SaveNamespace::noteFolderMade(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  folders_.insert(path);
}

bool SaveNamespace::madeFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return folders_.count(path) != 0;
}

void SaveNamespace::noteFolderMade(const platform::FolderHandle& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  heldFolders_.emplace(folder.device(), folder.object());
}

bool SaveNamespace::madeFolder(const platform::FolderHandle& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  return heldFolders_.count({folder.device(), folder.object()}) != 0;
}

size_t SaveNamespace::foldersMade() {
  std::lock_guard<std::mutex> lock(mutex_);
  return folders_.size() + heldFolders_.size();
}

bool createFolderPath(const std::string& folder, SaveNamespace* names) {
  if (folder.empty()) return false;
  if (isFolder(folder)) return true;
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && folder[pos] != '/') continue;
    if (folder[pos - 1] == '/') continue;  // "a//b"
    std::string prefix = folder.substr(0, pos);
    if (platform::makeFolder(prefix) && names) names->noteFolderMade(prefix);
  }
  return isFolder(folder);
}

void OutputFile::opened(std::string path, size_t nameStart) {
  path_ = std::move(path);
  name_ = path_.substr(nameStart);
  end_ = 0;
  mayEndShort_ = false;
  modified_.reset();
}

bool openOutputFile(OutputFile& file, const std::string& path, SaveNamespace* names) {
  using platform::CreateOutcome;
  file.close();
  std::string opened;
  auto create = [&](const std::string& candidate) { return file.handle_.createExclusive(candidate); };
  CreateOutcome outcome = openFirstFree(path, path, names, opened, create);
  if (outcome == CreateOutcome::FolderMissing) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
    if (folder.empty() || !createFolderPath(folder, names)) return false;
    outcome = openFirstFree(path, path, names, opened, create);
  }
  if (outcome != CreateOutcome::Created) return false;
  size_t slash = opened.rfind('/');
  file.opened(std::move(opened), slash == std::string::npos ? 0 : slash + 1);
  return true;
}

bool openOutputFileIn(OutputFile& file, const platform::FolderHandle& folder, std::string_view folderPath,
                      std::string_view name, SaveNamespace* names) {
  file.close();
  std::string opened;
  auto create = [&](const std::string& candidate) { return file.handle_.createExclusiveIn(folder, candidate); };
  const std::string leaf(name);
  if (openFirstFree(leaf, heldKey(folder, leaf), names, opened, create) != platform::CreateOutcome::Created)
    return false;
  file.opened(std::string(folderPath) + "/" + opened, folderPath.size() + 1);
  return true;
}

std::optional<std::string> renameAside(const std::string& path, const std::string& suffix) {
  for (uint64_t n = 0; n < 1000; ++n) {
    std::string candidate = path + suffix + (n == 0 ? std::string() : std::to_string(n));
    switch (platform::renameNoReplace(path, candidate)) {
      case platform::RenameOutcome::Renamed: return candidate;
      case platform::RenameOutcome::NameTaken: continue;
      case platform::RenameOutcome::Failed: return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::string> renameAsideIn(const platform::FolderHandle& folder, const std::string& name,
                                         const std::string& suffix) {
  for (uint64_t n = 0; n < 1000; ++n) {
    std::string candidate = name + suffix + (n == 0 ? std::string() : std::to_string(n));
    switch (platform::renameNoReplaceIn(folder, name, candidate)) {
      case platform::RenameOutcome::Renamed: return candidate;
      case platform::RenameOutcome::NameTaken: continue;
      case platform::RenameOutcome::Failed: return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace dudorazu
