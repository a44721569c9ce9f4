#include "core/recovery/dfxml_report.h"

#include <string>

#include "core/common/text.h"
#include "core/exfat/carve_signatures.h"
#include "core/exfat/record_walk.h"
#include "core/present/display_format.h"
#include "core/present/recoverability_text.h"

namespace dudorazu {
namespace {

std::string isoTime(uint16_t date, uint16_t time) {
  // The shown time with the ISO separator (always a four-digit year, so the
  // date is ten characters); exFAT times here carry no zone: written without
  // one, as local time. Words that name no moment give nothing.
  std::string shown = formatRecordTime(date, time);
  if (!shown.empty()) shown[10] = 'T';
  return shown;
}

// Several per file of a report of millions: no format string to parse each time.
std::string u64(uint64_t v) { return std::to_string(v); }

}  // namespace

std::string xmlEscape(const std::string& raw) {
  std::string s = sanitizeUtf8(raw);
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        // XML 1.0 cannot carry other control characters, not even escaped.
        if (c < 0x20 || c == 0x7F) out += "\xEF\xBF\xBD";
        else out.push_back(ch);
    }
  }
  return out;
}

DfxmlFile dfxmlFileOf(const SavedFile& saved, bool dryRun) {
  DfxmlFile f;
  const ExfatFileRecord& r = *saved.record;
  // The path inside the volume: "a/b/c.txt", and "扩展目录/12.jpg" for a carved file.
  f.filename = recordPath(r).substr(1);
  f.filesize = r.dataLength;
  f.allocated = !r.isDeleted();
  f.modifyDate = r.modifyDate;
  f.modifyTime = r.modifyTime;
  f.createDate = r.createDate;
  f.createTime = r.createTime;
  f.firstCluster = r.firstCluster;
  f.runs = saved.runs;
  f.sha256 = saved.sha256;
  f.outputPath = saved.created || dryRun ? saved.outputPath : std::string();
  f.bytesWritten = saved.bytesWritten;
  f.carve = r.carve;
  f.format = carvedFormatText(r);
  f.carveFormat = r.carveFormat;
  f.guessed = saved.guessed || r.carve == kCarvedThroughFreeClusters;
  f.overwrittenBytes = saved.overwrittenBytes;
  f.recoverability = r.recoverability;
  if (!saved.unreadable.empty()) f.recoverability |= recoverabilityBit(kDamaged);
  f.bytesAtRisk = saved.bytesAtRisk;
  f.alsoInTree = (r.recoverMarks & kAlsoInTree) != 0;
  // A carve is never "saved": what it holds was found by content alone.
  f.status = saved.partial                                            ? "partial"
             : saved.failed || saved.cancelled                        ? "failed"
             : saved.damaged                                          ? "damaged"
             : saved.shortened                                        ? "short"
             : r.carve == kCarvedIncomplete                           ? "incomplete"
             : saved.overwrittenBytes != 0                            ? "overwritten"
             : saved.guessed || r.carve == kCarvedThroughFreeClusters ? "guessed"
             : r.carve == kCarvedEndGuessed                           ? "end-guessed"
             : r.carve != kNotCarved                                  ? "carved"
             : dryRun                                                 ? "planned"
                                                                      : "saved";
  return f;
}

namespace {

void appendHead(std::string& x, const DfxmlSource& source) {
  x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x += "<dfxml xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\"\n"
       "       xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
       "       xmlns:dudorazu=\"urn:dudorazu:recover\" version=\"1.0\">\n";
  x += "  <metadata>\n    <dc:type>Recovered files</dc:type>\n  </metadata>\n";
  x += "  <creator>\n    <program>" + xmlEscape(source.program) + "</program>\n    <version>" +
       xmlEscape(source.version) + "</version>\n";
  if (!source.commandLine.empty())
    x += "    <execution_environment>\n      <command_line>" + xmlEscape(source.commandLine) +
         "</command_line>\n    </execution_environment>\n";
  x += "  </creator>\n";
  x += "  <source>\n    <image_filename>" + xmlEscape(source.imageFilename) + "</image_filename>\n  </source>\n";
  x += "  <volume offset=\"" + u64(source.partitionOffset) + "\">\n";
  x += "    <partition_offset>" + u64(source.partitionOffset) + "</partition_offset>\n";
  x += "    <block_size>" + u64(source.blockSize) + "</block_size>\n";
  x += "    <ftype_str>exfat</ftype_str>\n";
}

void appendFile(std::string& x, const DfxmlSource& source, const DfxmlFile& f) {
  x += "    <fileobject>\n";
  x += "      <filename>" + xmlEscape(f.filename) + "</filename>\n";
  x += "      <filesize>" + u64(f.filesize) + "</filesize>\n";
  x += "      <alloc>" + std::string(f.allocated ? "1" : "0") + "</alloc>\n";
  x += "      <inode>" + u64(f.firstCluster) + "</inode>\n";
  std::string mtime = isoTime(f.modifyDate, f.modifyTime);
  if (!mtime.empty()) x += "      <mtime>" + mtime + "</mtime>\n";
  std::string crtime = isoTime(f.createDate, f.createTime);
  if (!crtime.empty()) x += "      <crtime>" + crtime + "</crtime>\n";
  if (f.runs.empty()) {
    x += "      <byte_runs/>\n";
  } else {
    x += "      <byte_runs>\n";
    for (const DataRun& run : f.runs) {
      x += "        <byte_run file_offset=\"" + u64(run.fileOffset) + "\" img_offset=\"" + u64(run.deviceOffset) +
           "\"" +
           (run.deviceOffset >= source.partitionOffset
                ? " fs_offset=\"" + u64(run.deviceOffset - source.partitionOffset) + "\""
                : std::string()) +
           " len=\"" + u64(run.length) + "\"/>\n";
    }
    x += "      </byte_runs>\n";
  }
  if (!f.sha256.empty()) x += "      <hashdigest type=\"sha256\">" + f.sha256 + "</hashdigest>\n";
  if (!f.outputPath.empty()) x += "      <dudorazu:saved_as>" + xmlEscape(f.outputPath) + "</dudorazu:saved_as>\n";
  x += "      <dudorazu:bytes_written>" + u64(f.bytesWritten) + "</dudorazu:bytes_written>\n";
  x += "      <dudorazu:status>" + f.status + "</dudorazu:status>\n";
  x += std::string("      <dudorazu:found_by>") + (f.carve == kNotCarved ? "entry" : "carving") +
       "</dudorazu:found_by>\n";
  if (f.carve != kNotCarved) {
    x += std::string("      <dudorazu:carve_end>") + carveEndName(f.carve, f.carveFormat) + "</dudorazu:carve_end>\n";
    x += "      <dudorazu:format>" + xmlEscape(f.format) + "</dudorazu:format>\n";
  }
  if (f.guessed) x += "      <dudorazu:clusters>guessed</dudorazu:clusters>\n";
  if (f.overwrittenBytes != 0)
    x += "      <dudorazu:overwritten_bytes>" + u64(f.overwrittenBytes) + "</dudorazu:overwritten_bytes>\n";
  // The worst state as the element's text, every state that applies in
  // `all`: a reader that knows one word per file takes the text.
  x += std::string("      <dudorazu:recoverability all=\"") + recoverabilityNames(f.recoverability, " ") + "\"" +
       (f.bytesAtRisk != 0 ? " bytes_at_risk=\"" + u64(f.bytesAtRisk) + "\"" : std::string()) +
       (f.alsoInTree ? " also_in_tree=\"1\"" : "") + ">" +
       recoverabilityName(worstRecoverability(f.recoverability)) + "</dudorazu:recoverability>\n";
  x += "    </fileobject>\n";
}

constexpr const char* kTail = "  </volume>\n</dfxml>\n";

// Entries gathered before one write: few writes, and a buffer of bounded size.
constexpr size_t kWriteBytes = 1 << 20;

}  // namespace

std::string dfxmlDocument(const DfxmlSource& source, const std::vector<DfxmlFile>& files) {
  std::string x;
  appendHead(x, source);
  for (const DfxmlFile& f : files) appendFile(x, source, f);
  return x + kTail;
}

DfxmlWriter::DfxmlWriter(SectorDevice& out, DfxmlSource source) : out_(out), source_(std::move(source)) {
  appendHead(pending_, source_);
}

void DfxmlWriter::add(const DfxmlFile& file) {
  appendFile(pending_, source_, file);
  if (pending_.size() >= kWriteBytes) write();
}

void DfxmlWriter::write() {
  if (out_.writeAt(written_, pending_.data(), pending_.size()) != pending_.size()) ok_ = false;
  written_ += pending_.size();
  pending_.clear();
}

bool DfxmlWriter::finish() {
  pending_ += kTail;
  write();
  return out_.flush() && ok_;
}

}  // namespace dudorazu
