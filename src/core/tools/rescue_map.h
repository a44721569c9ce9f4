#pragma once
// The state of an imaging run as a GNU ddrescue mapfile, so the rest of a
// dying disk can be handed to ddrescue: positions are byte offsets on the
// source device, "+" copied, "-" unreadable, "?" not tried yet.
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/byte_range.h"
#include "core/device/command_paths.h"

namespace dudorazu {

class RescueMap {
 public:
  // The rescue domain: the bytes of the source the copy covers.
  explicit RescueMap(const ByteRange& domain) : domain_(domain), next_(domain.start()) {}

  // Records the next `size` bytes in order; `good` "+", otherwise "-".
  // Nothing past the domain is recorded.
  void mark(uint64_t size, bool good);
  // Where the untried part begins.
  uint64_t position() const { return next_; }

  // The mapfile text; `finished` sets the status line to "+".
  std::string text(bool finished) const;
  // Writes the text to `path` through a temporary file and a rename, so a
  // crash never leaves half a map; neither may meet the command's `inputs`
  // (see outputProblem). False on failure or refusal.
  bool save(const std::string& path, bool finished, const std::vector<CommandPath>& inputs) const;

 private:
  struct Block {
    ByteRange bytes;
    char status;
  };
  ByteRange domain_;
  uint64_t next_;
  std::vector<Block> blocks_;
};

}  // namespace dudorazu
