// A raw image cut into numbered pieces, read as the one disk they make.
#include <algorithm>

#include "platform/images/image_backends.h"

namespace dudorazu::platform::images {
namespace {

class SplitRawDevice : public SectorDevice {
 public:
  struct Piece {
    std::unique_ptr<SectorDevice> device;
    uint64_t start = 0;
    uint64_t size = 0;
  };
  SplitRawDevice(std::vector<Piece> pieces, uint64_t total) : pieces_(std::move(pieces)), size_(total) {}

  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    for (size_t i = pieceAt(offset); i < pieces_.size() && done < length; ++i) {
      Piece& p = pieces_[i];
      const uint64_t inPiece = offset + done - p.start;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, p.size - inPiece));
      const size_t got = p.device->readAt(inPiece, out + done, want);
      done += got;
      if (got < want) break;
    }
    return done;
  }

  size_t writeAt(uint64_t, const void*, size_t) override { return 0; }
  uint64_t size() const override { return size_; }

  uint64_t copyToFile(uint64_t offset, uint64_t length, OutputHandle& out, uint64_t outOffset) override {
    uint64_t done = 0;
    for (size_t i = pieceAt(offset); i < pieces_.size() && done < length; ++i) {
      Piece& p = pieces_[i];
      const uint64_t inPiece = offset + done - p.start;
      const uint64_t want = std::min<uint64_t>(length - done, p.size - inPiece);
      const uint64_t got = p.device->copyToFile(inPiece, want, out, outOffset + done);
      done += got;
      if (got < want) break;
    }
    return done;
  }

 private:
  // The piece holding `offset`; pieces_.size() past the end.
  size_t pieceAt(uint64_t offset) const {
    if (offset >= size_) return pieces_.size();
    auto after = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                  [](uint64_t at, const Piece& p) { return at < p.start; });
    return static_cast<size_t>(after - pieces_.begin()) - 1;
  }

  std::vector<Piece> pieces_;
  uint64_t size_;
};

}  // namespace

std::unique_ptr<SectorDevice> openSplitRaw(std::vector<std::unique_ptr<SectorDevice>> devices) {
  std::vector<SplitRawDevice::Piece> pieces;
  uint64_t total = 0;
  for (auto& device : devices) {
    const uint64_t bytes = device->size();
    if (bytes == 0) continue;  // an empty piece adds nothing, and no piece would start there
    if (bytes > kMaxImageBytes - total) {
      setOpenProblem("the pieces of the split image add up to more than any disk holds");
      return nullptr;
    }
    pieces.push_back({std::move(device), total, bytes});
    total += bytes;
  }
  return std::make_unique<SplitRawDevice>(std::move(pieces), total);
}

}  // namespace dudorazu::platform::images
