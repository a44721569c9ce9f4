#include "core/exfat/jpeg_clusters.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "core/exfat/jpeg_decode.h"

namespace dudorazu {
namespace {

// Clusters tried for one place: enough to pass the pieces of a few other
// files written in turns with this one.
constexpr uint32_t kCandidates = 64;
constexpr uint32_t kMaxBreaks = 32;        // places where the data is looked for elsewhere
// Boundaries tried at a break: the decode notices foreign data some bytes
// after it starts, now and then a cluster later.
constexpr size_t kLevels = 3;
constexpr uint64_t kCandidateScan = 1u << 20;  // clusters looked through for free ones after a place
// Bytes read in all for candidates of one image, about what a photo costs
// to read: on a card of broken photos (a quick format leaves every cluster
// free) each costs about twice its reading.
constexpr uint64_t kCandidateBytes = 4u << 20;
constexpr uint64_t kReadAhead = 256u << 10;
constexpr size_t kKeptCheckpoints = 64;

// No byte with its top bit set: zeros, text. The coded data of an image
// holds bytes of every value; such a cluster, although it may decode for a
// while as flat blocks, is someone else's.
bool plainBytes(const uint8_t* p, size_t n) {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    any |= word;
  }
  for (; i < n; ++i) any |= p[i];
  return (any & 0x8080808080808080ull) == 0;
}

class Follower {
 public:
  Follower(SectorDevice& device, const LoadedVolume& volume, uint32_t first, const JpegClusterRules& rules)
      : device_(device), p_(volume), rules_(rules), cb_(volume.clusterBytes()), first_(first),
        maxClusters_(cb_ == 0 ? 0 : (rules.maxBytes + cb_ - 1) / cb_) {}

  JpegClusters run() {
    JpegClusters out;
    if (cb_ == 0 || first_ < 2 || first_ >= p_.heapEnd()) return out;
    for (;;) {
      if (fed_ == clusters_.size() && !load()) return result(JpegFollow::CutShort, bytes_.size());
      keepCheckpoint();
      const uint64_t available = std::min<uint64_t>((fed_ + 1) * cb_, bytes_.size());
      const JpegDecodeStep step = decoder_.decode(bytes_.data(), available);
      ++fed_;
      switch (step) {
        case JpegDecodeStep::NeedBytes: continue;
        case JpegDecodeStep::Complete: return finish(decoder_.endOffset());
        case JpegDecodeStep::Unverifiable: return result(JpegFollow::Unverifiable, 0);
        case JpegDecodeStep::Broken: break;
      }
      const uint64_t breakAt = decoder_.breakOffset();
      const Resumed resumed = resume(breakAt);
      if (resumed == Resumed::Completed) return finish(decoder_.endOffset());
      if (resumed == Resumed::No) return result(JpegFollow::Broken, brokenLength_);
    }
  }

 private:
  enum class Resumed { No, Accepted, Completed };

  JpegClusters result(JpegFollow outcome, uint64_t length) {
    JpegClusters out;
    out.outcome = outcome;
    out.length = length;
    out.sawImageData = decoder_.reachedImageData();
    const size_t count = std::min<size_t>(clusters_.size(), static_cast<size_t>((length + cb_ - 1) / cb_));
    for (size_t i = 0; i < count; ++i) {
      if (!out.runs.empty() && out.runs.back().first + out.runs.back().count == clusters_[i]) ++out.runs.back().count;
      else out.runs.push_back({clusters_[i], 1});
    }
    return out;
  }

  JpegClusters finish(uint64_t end) {
    clusters_.resize(std::min<size_t>(clusters_.size(), static_cast<size_t>((end + cb_ - 1) / cb_)));
    // What the recorded length holds past the end marker follows as the
    // rules have it; no decode vouches for it.
    used_ = std::unordered_set<uint32_t>(clusters_.begin(), clusters_.end());
    while (!clusters_.empty() && clusters_.size() * cb_ < rules_.fillTo) {
      std::optional<uint32_t> next = rules_.next(clusters_.back());
      if (!next || *next < 2 || *next >= p_.heapEnd() || !used_.insert(*next).second) break;
      clusters_.push_back(*next);
    }
    JpegClusters out = result(chose_ ? JpegFollow::Continued : JpegFollow::Decoded, clusters_.size() * cb_);
    out.length = end;
    return out;
  }

  // Appends the clusters that `next` gives, consecutive ones in one read.
  bool load() {
    if (ended_ || clusters_.size() >= maxClusters_) return false;
    std::optional<uint32_t> start = clusters_.empty() ? std::optional<uint32_t>(first_) : rules_.next(clusters_.back());
    if (!start || *start < 2 || *start >= p_.heapEnd() || used_.count(*start)) {
      ended_ = true;
      return false;
    }
    uint64_t count = 1;
    const uint64_t room = std::min<uint64_t>(maxClusters_ - clusters_.size(), std::max<uint64_t>(kReadAhead / cb_, 1));
    while (count < room) {
      const uint64_t last = *start + count - 1;
      std::optional<uint32_t> next = rules_.next(static_cast<uint32_t>(last));
      if (!next || *next != last + 1 || *next >= p_.heapEnd() || used_.count(*next)) break;
      ++count;
    }
    const size_t at = bytes_.size();
    const size_t want = static_cast<size_t>(count * cb_);
    bytes_.resize(at + want);
    const size_t got = device_.readAt(p_.clusterPosition(*start), bytes_.data() + at, want);
    bytes_.resize(at + got);
    if (got < want) ended_ = true;
    const size_t clusters = static_cast<size_t>((got + cb_ - 1) / cb_);
    for (size_t k = 0; k < clusters; ++k) {
      const uint32_t c = *start + static_cast<uint32_t>(k);
      clusters_.push_back(c);
      used_.insert(c);
      const size_t from = at + static_cast<size_t>(k * cb_);
      plain_.push_back(plainBytes(bytes_.data() + from, std::min<size_t>(static_cast<size_t>(cb_), got - k * cb_)));
    }
    return clusters != 0;
  }

  void keepCheckpoint() {
    if (!saved_.empty() && saved_.back().first >= fed_) return;
    saved_.emplace_back(fed_, decoder_.checkpoint());
    if (saved_.size() > kKeptCheckpoints) {
      saved_.pop_front();
      decoder_.forgetBefore(saved_.front().second);
    }
  }

  // Goes back to the state before cluster `index`, forgetting what came after.
  bool rewind(size_t index) {
    auto it = std::find_if(saved_.begin(), saved_.end(), [&](const auto& s) { return s.first == index; });
    if (it == saved_.end()) return false;
    decoder_.restore(it->second);
    saved_.erase(it + 1, saved_.end());
    for (size_t k = index; k < clusters_.size(); ++k) used_.erase(clusters_[k]);
    clusters_.resize(index);
    plain_.resize(index);
    bytes_.resize(static_cast<size_t>(index * cb_));
    fed_ = index;
    ended_ = false;
    return true;
  }

  Resumed resume(uint64_t breakAt) {
    size_t f = std::min<size_t>(static_cast<size_t>(breakAt / cb_), fed_ - 1);
    // Clusters of zeros or text decode for a while as flat blocks: the
    // foreign data began where they did.
    while (f > 1 && plain_[f - 1]) --f;
    brokenLength_ = f >= 1 ? f * cb_ : breakAt;
    if (++breaks_ > kMaxBreaks) return Resumed::No;
    const std::vector<uint32_t> originals = clusters_;
    std::unordered_set<uint32_t> excluded;
    for (size_t level = 0; level < kLevels && f >= level + 1; ++level) {
      const size_t index = f - level;
      // The clusters from this place to the one where the data broke are not
      // tried again in their place; those read after them may be the rest.
      for (size_t k = index; k <= f && k < originals.size(); ++k) excluded.insert(originals[k]);
      if (!rewind(index)) break;
      const Resumed r = tryPlace(index, excluded);
      if (r != Resumed::No) {
        chose_ = true;
        return r;
      }
    }
    // The carve ends before the break, over the clusters that led there.
    clusters_ = originals;
    return Resumed::No;
  }

  // Tries the free clusters after the one before `index`, in order, as the
  // cluster at `index`: the first whose bytes decode on is taken.
  Resumed tryPlace(size_t index, const std::unordered_set<uint32_t>& excluded) {
    const JpegDecoder::Checkpoint before = saved_.back().second;
    const uint64_t heapEnd = p_.heapEnd();
    uint64_t c = clusters_[index - 1];
    uint64_t scanned = 0;
    std::vector<uint8_t> cluster(static_cast<size_t>(cb_));
    for (uint32_t tried = 0; tried < kCandidates;) {
      do {
        ++c;
        ++scanned;
      } while (c < heapEnd && scanned < kCandidateScan &&
               (!rules_.mayContinue(static_cast<uint32_t>(c)) || used_.count(static_cast<uint32_t>(c)) ||
                excluded.count(static_cast<uint32_t>(c))));
      if (c >= heapEnd || scanned >= kCandidateScan || candidateBytes_ + cb_ > kCandidateBytes) return Resumed::No;
      ++tried;
      candidateBytes_ += cb_;
      const uint32_t candidate = static_cast<uint32_t>(c);
      if (device_.readAt(p_.clusterPosition(candidate), cluster.data(), cluster.size()) != cluster.size() ||
          plainBytes(cluster.data(), cluster.size()))
        continue;
      bytes_.insert(bytes_.end(), cluster.begin(), cluster.end());
      const JpegDecodeStep step = decoder_.decode(bytes_.data(), bytes_.size());
      if (step == JpegDecodeStep::NeedBytes || step == JpegDecodeStep::Complete) {
        clusters_.push_back(candidate);
        plain_.push_back(0);
        used_.insert(candidate);
        fed_ = index + 1;
        return step == JpegDecodeStep::Complete ? Resumed::Completed : Resumed::Accepted;
      }
      decoder_.restore(before);
      bytes_.resize(static_cast<size_t>(index * cb_));
    }
    return Resumed::No;
  }

  SectorDevice& device_;
  const LoadedVolume& p_;
  const JpegClusterRules& rules_;
  const uint64_t cb_;
  const uint32_t first_;
  const uint64_t maxClusters_;
  std::vector<uint8_t> bytes_;     // the image's bytes so far, cluster after cluster
  std::vector<uint32_t> clusters_; // clusters_[i] holds bytes [i x cb, (i + 1) x cb)
  std::vector<uint8_t> plain_;     // cluster i holds no byte with its top bit set
  std::unordered_set<uint32_t> used_;
  bool ended_ = false;  // no cluster or byte more
  size_t fed_ = 0;      // clusters given to the decoder
  JpegDecoder decoder_;
  std::deque<std::pair<size_t, JpegDecoder::Checkpoint>> saved_;  // the state before cluster `first`
  uint32_t breaks_ = 0;
  uint64_t candidateBytes_ = 0;
  bool chose_ = false;
  uint64_t brokenLength_ = 0;
};

}  // namespace

JpegClusters followJpegClusters(SectorDevice& device, const LoadedVolume& volume, uint32_t firstCluster,
                                const JpegClusterRules& rules) {
  return Follower(device, volume, firstCluster, rules).run();
}

}  // namespace dudorazu
