#pragma once
// A Digital Forensics XML (DFXML) report of a save: one fileobject per file
// with its name inside the volume, size, allocation state, the byte runs it
// was read from, the SHA-256 of what was written and where it was written.
#include <cstdint>
#include <string>
#include <vector>

#include "core/recovery/save_engine.h"

namespace dudorazu {

struct DfxmlSource {
  std::string imageFilename;     // the device or image read
  uint64_t partitionOffset = 0;  // byte offset of the volume on it
  uint64_t blockSize = 0;        // cluster size
  std::string commandLine;
  std::string program = "dudorazu-cli";
  std::string version = "0.1";
};

struct DfxmlFile {
  std::string filename;  // path inside the volume
  uint64_t filesize = 0; // the length the volume records
  bool allocated = true; // a live record (false: deleted)
  uint16_t modifyDate = 0, modifyTime = 0, createDate = 0, createTime = 0;
  uint32_t firstCluster = 0;
  std::vector<DataRun> runs;  // device offsets
  std::string sha256;         // empty: not computed (dry run)
  std::string outputPath;     // empty: nothing written
  uint64_t bytesWritten = 0;
  // "saved", "planned", "short", "damaged", "overwritten" (some clusters are
  // in use by other files now), "guessed" (clusters after the chain's end
  // taken from the free ones), "failed", "partial" (failed or cancelled
  // midway); carves: "carved" (decoded whole, walked to its structure's end,
  // or a length from its header),
  // "guessed" (decoded on through free clusters chosen for it),
  // "end-guessed" (an end marker found by searching), "incomplete".
  std::string status;
  uint8_t carve = kNotCarved;  // CarveKind: found by content, not by an entry
  std::string format;          // a carve's format: "mp4", "docx", "jpg", ...
  uint8_t carveFormat = 0;     // CarveFormat
  bool guessed = false;        // clusters after the chain's end taken from the free ones
  uint64_t overwrittenBytes = 0;
  // The record's recoverability (recoverabilityBit per state), with what the
  // save met added (read errors: damaged), and its bytes at risk.
  uint8_t recoverability = 0;
  uint64_t bytesAtRisk = 0;
  bool alsoInTree = false;  // found by the scan, yet the live tree holds it too
};

// The entry for a file a save reached.
DfxmlFile dfxmlFileOf(const SavedFile& saved, bool dryRun);

// Text safe inside an XML element or attribute: markup characters escaped,
// characters XML cannot hold (most controls, invalid UTF-8) replaced.
std::string xmlEscape(const std::string& text);

// The whole document.
std::string dfxmlDocument(const DfxmlSource& source, const std::vector<DfxmlFile>& files);

// The same document written into `out` as the files come, so that a save
// of millions of files holds one buffer of it, not the whole text nor an
// entry per file. Not thread-safe: one writer at a time.
class DfxmlWriter {
 public:
  DfxmlWriter(SectorDevice& out, DfxmlSource source);
  DfxmlWriter(const DfxmlWriter&) = delete;
  DfxmlWriter& operator=(const DfxmlWriter&) = delete;
  void add(const DfxmlFile& file);
  // Writes the end and makes the whole durable; false when any write failed.
  bool finish();

 private:
  void write();
  SectorDevice& out_;
  DfxmlSource source_;
  std::string pending_;
  uint64_t written_ = 0;
  bool ok_ = true;
};

}  // namespace dudorazu
