#pragma once
// What a long operation shares with whoever watches it: a bar (range, step,
// position), a text and a cancel flag. Every update is a few atomic stores,
// so a worker may touch it once per cluster without waiting on a window; a
// front end polls it on a timer (GUI) or from a drawing thread (CLI).
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace dudorazu {

class ProgressBlock {
 public:
  // Range 0..upper with the size of one step; the bar starts again at 0.
  void setRange(uint64_t upper, uint64_t step) {
    upper_.store(upper, std::memory_order_relaxed);
    step_.store(step, std::memory_order_relaxed);
    position_.store(0, std::memory_order_relaxed);
    bump();
  }
  // One step, clamped at the upper bound.
  void stepIt() {
    uint64_t up = upper_.load(std::memory_order_relaxed);
    uint64_t st = step_.load(std::memory_order_relaxed);
    uint64_t pos = position_.load(std::memory_order_relaxed);
    position_.store(pos + st <= up ? pos + st : up, std::memory_order_relaxed);
    bump();
  }
  // Position, clamped at the upper bound.
  void setPosition(uint64_t pos) {
    uint64_t up = upper_.load(std::memory_order_relaxed);
    position_.store(pos < up ? pos : up, std::memory_order_relaxed);
    bump();
  }

  uint64_t upper() const { return upper_.load(std::memory_order_relaxed); }
  uint64_t step() const { return step_.load(std::memory_order_relaxed); }
  uint64_t position() const { return position_.load(std::memory_order_relaxed); }
  // Grows with every update; a watcher redraws when it changed.
  uint64_t updates() const { return updates_.load(std::memory_order_relaxed); }

  void setText(std::string text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    text_ = std::move(text);
    bump();
  }
  void clearText() { setText(std::string()); }
  std::string text() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return text_;
  }

  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  void clearCancel() { cancelled_.store(false, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  void bump() { updates_.fetch_add(1, std::memory_order_relaxed); }

  std::atomic<uint64_t> upper_{0};
  std::atomic<uint64_t> step_{1};
  std::atomic<uint64_t> position_{0};
  std::atomic<uint64_t> updates_{0};
  std::atomic<bool> cancelled_{false};
  mutable std::mutex textMutex_;
  std::string text_;
};

}  // namespace dudorazu
