#pragma once
// Reading a record's recoverability: the worst state, each state, and the
// bytes at risk from the cluster counts the record keeps.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

inline bool hasRecoverability(const ExfatFileRecord& r, Recoverability k) {
  return k == kIntact ? r.recoverability == 0 : (r.recoverability & recoverabilityBit(k)) != 0;
}

// The worst state that applies: the highest bit.
inline Recoverability worstRecoverability(uint8_t bits) {
  bits &= static_cast<uint8_t>((1u << kRecoverabilityCount) - 1);
  return bits == 0 ? kIntact : static_cast<Recoverability>(std::bit_width(bits) - 1);
}
inline Recoverability worstRecoverability(const ExfatFileRecord& r) { return worstRecoverability(r.recoverability); }

// `clusters` whole clusters, less what the file's last cluster holds
// beyond its end when `tail` says that cluster is among them.
inline uint64_t clusterBytesOf(const ExfatFileRecord& r, uint32_t clusters, bool tail, uint64_t clusterBytes) {
  const uint64_t whole = uint64_t{clusters} * clusterBytes;
  const uint64_t used = clusterBytes != 0 ? r.dataLength % clusterBytes : 0;
  return tail && used != 0 && whole >= clusterBytes ? whole - (clusterBytes - used) : whole;
}

// Bytes of the record in clusters that other files or folders hold now.
inline uint64_t overwrittenBytes(const ExfatFileRecord& r, uint64_t clusterBytes) {
  return clusterBytesOf(r, r.overwrittenClusters, (r.recoverMarks & kOverwrittenTail) != 0, clusterBytes);
}
// Bytes of the record in clusters, not in use, that hold unreadable bytes.
inline uint64_t damagedBytes(const ExfatFileRecord& r, uint64_t clusterBytes) {
  return clusterBytesOf(r, r.damagedClusters, (r.recoverMarks & kDamagedTail) != 0, clusterBytes);
}
// Both: no cluster is counted twice.
inline uint64_t bytesAtRisk(const ExfatFileRecord& r, uint64_t clusterBytes) {
  return overwrittenBytes(r, clusterBytes) + damagedBytes(r, clusterBytes);
}

}  // namespace dudorazu
