#pragma once
// The state of an imaging run as a GNU ddrescue mapfile, so the rest of a
// dying disk can be handed to ddrescue: positions are byte offsets on the
// source device, "+" copied, "-" unreadable, "?" not tried yet.
#include <cstdint>
#include <string>
#include <vector>

#include "core/device/command_paths.h"

namespace dudorazu {

class RescueMap {
 public:
  // The rescue domain: `length` bytes from `start` on the source.
  RescueMap(uint64_t start, uint64_t length) : start_(start), end_(start + length), next_(start) {}

  // Records the next `size` bytes in order; `good` "+", otherwise "-".
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
    uint64_t pos;
    uint64_t size;
    char status;
  };
  uint64_t start_, end_, next_;
  std::vector<Block> blocks_;
};

}  // namespace dudorazu
