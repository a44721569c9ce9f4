#include "core/tools/rescue_passes.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/common/text.h"
#include "core/tools/bounded_io.h"
#include "core/tools/straight_copy.h"

namespace dudorazu {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint64_t kMinSkip = 65536;
constexpr auto kPublishEvery = milliseconds(250);

milliseconds since(Clock::time_point t) { return std::chrono::duration_cast<milliseconds>(Clock::now() - t); }

class Rescuer {
 public:
  Rescuer(const RescueSettings& settings, std::shared_ptr<SectorDevice> source, std::shared_ptr<SectorDevice> target,
          RescueMap& map, ProgressBlock& progress, const RescueHooks& hooks)
      : s_(settings), domain_(settings.domain), target_(target), map_(map), progress_(progress), hooks_(hooks),
        hanging_(std::make_shared<std::atomic<int>>(0)),
        straight_(source, target, domain_.start(), settings.targetStart, settings.blockSize, hanging_),
        reader_(source, hanging_), writer_(target) {
    skipInitial_ = s_.skipInitial ? s_.skipInitial : std::max<uint64_t>(kMinSkip, domain_.length() / 100000);
    skipInitial_ = (skipInitial_ + kSectorSize - 1) / kSectorSize * kSectorSize;
    skipMax_ = std::max(skipInitial_, domain_.length() / 100 / kSectorSize * kSectorSize);
    skip_ = skipInitial_;
    // The map may reach past the domain; nothing there changes in this run.
    const RescueCounts inside = map_.counts(domain_), all = map_.totals();
    outside_ = {all.rescued - inside.rescued, all.nonTried - inside.nonTried, all.nonTrimmed - inside.nonTrimmed,
                all.nonScraped - inside.nonScraped, all.bad - inside.bad, 0};
    position_ = domain_.start();
  }

  RescueEnd run(RescueSnapshot* last);

 private:
  enum class Step { Go, Stop, WriteFail };

  RescueCounts counts() const {
    const RescueCounts& all = map_.totals();
    return {all.rescued - outside_.rescued, all.nonTried - outside_.nonTried, all.nonTrimmed - outside_.nonTrimmed,
            all.nonScraped - outside_.nonScraped, all.bad - outside_.bad, 0};
  }
  void startPass(char phase, uint32_t pass, bool forwards);
  Step copyPass(bool forwards, bool skipping);
  Step copyForwards(const ByteRange& area, bool skipping);
  Step copyBackwards(const ByteRange& area, bool skipping);
  Step trimPass(bool forwards);
  Step sectorPass(RescueState which, bool forwards);
  // Reads the tasks' sectors, marking the map as they get done; a trim's
  // middle becomes non-scraped.
  Step sectorTasks(std::vector<SectorTask> tasks);
  void markBad(const ByteRange& sector) {
    if (map_.stateAt(sector.start()) == RescueState::Bad) return;
    map_.set(sector, RescueState::Bad);
    if (hooks_.onBadSector) hooks_.onBadSector(sector.start() / kSectorSize);
  }
  Step finish(Step step, bool finished);

  // One read through the bounded lane; nullopt when it hung.
  std::optional<size_t> readBounded(uint64_t position, size_t length, milliseconds limit, Clock::duration& took);
  bool write(uint64_t position, const std::shared_ptr<IoBuffer>& buffer, size_t length);
  bool fill(const ByteRange& bytes);
  void good(const ByteRange& bytes) {
    if (bytes.empty()) return;
    map_.set(bytes, RescueState::Finished);
    rescuedThisRun_ += bytes.length();
    lastGood_ = Clock::now();
  }
  // Where a skipping pass goes on after a failed or hung read.
  uint64_t afterError(uint64_t position, uint64_t limit, bool forwards) {
    return leaveAreaOnError_ ? limit : skipFrom(position, limit, forwards);
  }
  uint64_t skipFrom(uint64_t position, uint64_t limit, bool forwards) {
    const uint64_t skip = skip_;
    skip_ = std::min(skip_ * 2, skipMax_);
    return forwards ? position + std::min(skip, limit - position) : position - std::min(skip, position - limit);
  }
  void tick(bool publish);
  bool saveMap();
  RescueSnapshot snapshot() const;

  const RescueSettings& s_;
  const ByteRange domain_;
  std::shared_ptr<SectorDevice> target_;
  RescueMap& map_;
  ProgressBlock& progress_;
  const RescueHooks& hooks_;
  std::shared_ptr<std::atomic<int>> hanging_;
  StraightCopy straight_;
  IoLane reader_, writer_;
  std::shared_ptr<IoBuffer> buffer_;
  RescueCounts outside_;
  uint64_t skipInitial_ = 0, skipMax_ = 0, skip_ = 0;
  char phase_ = '?';
  uint32_t pass_ = 1;
  bool forwards_ = true;
  bool leaveAreaOnError_ = false;
  int retriesLeft_ = 0;
  uint64_t position_ = 0;
  uint64_t readErrors_ = 0, slowReads_ = 0, hungReads_ = 0, rescuedThisRun_ = 0;
  const Clock::time_point started_ = Clock::now();
  Clock::time_point lastGood_ = started_, lastSave_ = started_, lastPublish_ = started_, rateSince_ = started_;
  uint64_t rateBytes_ = 0, currentRate_ = 0;
};

RescueEnd Rescuer::run(RescueSnapshot* last) {
  const bool f = !s_.reverse;
  retriesLeft_ = std::max(0, s_.retryPasses);
  progress_.setRange((domain_.length() + s_.blockSize - 1) / s_.blockSize, 1);
  Step step = Step::Go;
  // Copying: forwards with skipping; back over what was skipped, leaving
  // the rest of a skipped area at its first error; then a sweep without
  // skipping so that every byte has been tried once.
  const struct {
    bool forwards, skipping, leaveArea;
  } copies[] = {{f, true, false}, {!f, true, true}, {f, false, false}};
  for (uint32_t i = 0; i < 3 && step == Step::Go && counts().nonTried != 0; ++i) {
    startPass('?', i + 1, copies[i].forwards);
    leaveAreaOnError_ = copies[i].leaveArea;
    step = copyPass(copies[i].forwards, copies[i].skipping);
  }
  if (step == Step::Go && counts().nonTrimmed != 0) {
    startPass('*', 1, f);
    step = trimPass(f);
  }
  if (step == Step::Go && s_.scrape && counts().nonScraped != 0) {
    startPass('/', 1, f);
    step = sectorPass(RescueState::NonScraped, f);
  }
  for (uint32_t r = 1; step == Step::Go && retriesLeft_ > 0; ++r) {
    if (counts().bad == 0) break;
    // The first retry goes against the scrape, then each pass turns.
    startPass('-', r, r % 2 == 0 ? f : !f);
    step = sectorPass(RescueState::Bad, forwards_);
    if (step == Step::Go) --retriesLeft_;
  }
  step = finish(step, step == Step::Go);
  if (last) *last = snapshot();
  if (hooks_.onPass) hooks_.onPass(snapshot());
  if (step == Step::WriteFail) return RescueEnd::WriteFailed;
  return step == Step::Stop ? RescueEnd::Stopped : RescueEnd::Finished;
}

void Rescuer::startPass(char phase, uint32_t pass, bool forwards) {
  phase_ = phase;
  pass_ = pass;
  forwards_ = forwards;
  // The skip carries over: a pass that starts in the failing area the last
  // one left gets out of it as fast.
  position_ = forwards ? domain_.start() : domain_.end();
  tick(true);
  if (hooks_.onPass) hooks_.onPass(snapshot());
}

Rescuer::Step Rescuer::copyPass(bool forwards, bool skipping) {
  uint64_t at = forwards ? domain_.start() : domain_.end();
  while (std::optional<ByteRange> area = map_.nextArea(RescueState::NonTried, at, forwards, domain_)) {
    at = forwards ? area->end() : area->start();
    Step step = forwards ? copyForwards(*area, skipping) : copyBackwards(*area, skipping);
    if (step != Step::Go) return step;
  }
  return Step::Go;
}

Rescuer::Step Rescuer::copyForwards(const ByteRange& area, bool skipping) {
  const StraightLimits limits{s_.waits.blockRead, s_.waits.write, skipping ? s_.waits.slowBlock : milliseconds(0),
                              kPublishEvery};
  for (uint64_t p = area.start(); p < area.end();) {
    if (progress_.cancelled()) return Step::Stop;
    StraightRun r = straight_.run(p, area.end(), limits, progress_);
    good(*ByteRange::of(p, r.done));
    p += r.done;
    position_ = p;
    if (r.done != 0 && r.end != StraightRun::End::Slow) skip_ = skipInitial_;
    switch (r.end) {
      case StraightRun::End::Finished:
      case StraightRun::End::Paused: break;
      case StraightRun::End::Stopped: return Step::Stop;
      case StraightRun::End::WriteFailed:
      case StraightRun::End::WriteHung: return Step::WriteFail;
      case StraightRun::End::Slow:
        ++slowReads_;
        if (skipping) p = skipFrom(p, area.end(), true);
        break;
      case StraightRun::End::ReadHung:
        ++hungReads_;
        ++slowReads_;
        // While skipping, a hung block is left untried like a slow one;
        // the sweep marks it failed for the sector passes.
        if (!skipping) map_.set(*ByteRange::between(p, r.blockEnd), RescueState::NonTrimmed);
        p = skipping ? afterError(r.blockEnd, area.end(), true) : r.blockEnd;
        break;
      case StraightRun::End::Failed:
        ++readErrors_;
        map_.set(*ByteRange::between(p, r.blockEnd), RescueState::NonTrimmed);
        p = skipping ? afterError(r.blockEnd, area.end(), true) : r.blockEnd;
        break;
    }
    tick(false);
  }
  return Step::Go;
}

Rescuer::Step Rescuer::copyBackwards(const ByteRange& area, bool skipping) {
  for (uint64_t e = area.end(); e > area.start();) {
    if (progress_.cancelled()) return Step::Stop;
    const uint64_t b =
        std::max(area.start(), domain_.start() + (e - 1 - domain_.start()) / s_.blockSize * s_.blockSize);
    position_ = b;
    Clock::duration took{};
    std::optional<size_t> got = readBounded(b, static_cast<size_t>(e - b), s_.waits.blockRead, took);
    if (!got) {
      ++hungReads_;
      ++slowReads_;
      if (!skipping) map_.set(*ByteRange::between(b, e), RescueState::NonTrimmed);
      e = skipping ? afterError(b, area.start(), false) : b;
    } else {
      if (*got != 0 && !write(b, buffer_, *got)) return Step::WriteFail;
      good(*ByteRange::of(b, *got));
      if (*got < e - b) {
        ++readErrors_;
        map_.set(*ByteRange::between(b + *got, e), RescueState::NonTrimmed);
        e = skipping ? afterError(b, area.start(), false) : b;
      } else if (skipping && took > s_.waits.slowBlock) {
        ++slowReads_;
        e = skipFrom(b, area.start(), false);
      } else {
        skip_ = skipInitial_;
        e = b;
      }
    }
    tick(false);
  }
  return Step::Go;
}

// Each failed block is read sector by sector from its leading edge up to
// the first bad sector, then from its trailing edge back to the first bad
// one; an edge that already touches a bad sector was trimmed before. What
// lies between is left to the scrape.
Rescuer::Step Rescuer::trimPass(bool forwards) {
  std::vector<SectorTask> tasks;
  uint64_t at = forwards ? domain_.start() : domain_.end();
  while (std::optional<ByteRange> area = map_.nextArea(RescueState::NonTrimmed, at, forwards, domain_)) {
    at = forwards ? area->end() : area->start();
    SectorTask t{area->start(), area->end(), forwards, true};
    t.leading = !(area->start() > domain_.start() && map_.stateAt(area->start() - 1) == RescueState::Bad);
    t.trailing = !(area->end() < domain_.end() && map_.stateAt(area->end()) == RescueState::Bad);
    tasks.push_back(t);
  }
  return sectorTasks(std::move(tasks));
}

// Scraping and retrying: every sector of the areas in `which` on its own.
Rescuer::Step Rescuer::sectorPass(RescueState which, bool forwards) {
  std::vector<SectorTask> tasks;
  uint64_t at = forwards ? domain_.start() : domain_.end();
  while (std::optional<ByteRange> area = map_.nextArea(which, at, forwards, domain_)) {
    at = forwards ? area->end() : area->start();
    tasks.push_back({area->start(), area->end(), forwards, false});
  }
  return sectorTasks(std::move(tasks));
}

Rescuer::Step Rescuer::sectorTasks(std::vector<SectorTask> tasks) {
  const StraightLimits limits{s_.waits.sectorRead, s_.waits.write, milliseconds(0), kPublishEvery};
  size_t first = 0;  // tasks before it are over
  while (first < tasks.size()) {
    if (progress_.cancelled()) return Step::Stop;
    std::vector<SectorTask> left(tasks.begin() + static_cast<std::ptrdiff_t>(first), tasks.end());
    SectorRun r = straight_.runSectors(left, limits, progress_);
    // A sector that does not come back is taken as bad, and its edge moves on.
    if (r.end == StraightRun::End::ReadHung && r.tasksDone < r.tasks.size()) {
      ++hungReads_;
      ++slowReads_;
      SectorTask& t = r.tasks[r.tasksDone];
      const bool leading = r.hung.start() == t.a;
      r.bad.push_back(r.hung);
      (leading ? t.a : t.e) = leading ? r.hung.end() : r.hung.start();
      if (t.trim) (leading ? t.leading : t.trailing) = false;
    }
    // Whatever each task read is finished, but for the sectors that failed;
    // a bad sector is reported the first time it is found bad.
    std::vector<bool> news;
    for (const ByteRange& b : r.bad) news.push_back(map_.stateAt(b.start()) != RescueState::Bad);
    uint64_t read = 0, failed = 0;
    for (size_t k = 0; k < r.tasks.size(); ++k) {
      const SectorTask &was = left[k], &now = r.tasks[k];
      for (const ByteRange dealt : {*ByteRange::between(was.a, now.a), *ByteRange::between(now.e, was.e)}) {
        if (dealt.empty()) continue;
        map_.set(dealt, RescueState::Finished);
        read += dealt.length();
      }
      if (k < r.tasksDone && now.trim && now.a < now.e)
        map_.set(*ByteRange::between(now.a, now.e), RescueState::NonScraped);
    }
    for (size_t i = 0; i < r.bad.size(); ++i) {
      map_.set(r.bad[i], RescueState::Bad);
      failed += r.bad[i].length();
      if (news[i] && hooks_.onBadSector) hooks_.onBadSector(r.bad[i].start() / kSectorSize);
    }
    rescuedThisRun_ += read - failed;
    if (read > failed) lastGood_ = Clock::now();
    readErrors_ += r.bad.size();
    if (r.tasksDone < r.tasks.size()) {
      const SectorTask& t = r.tasks[r.tasksDone];
      position_ = t.forwards ? t.a : t.e;
    }
    // The finished tasks, and the rest as far as they got.
    for (size_t k = 0; k < r.tasks.size(); ++k) tasks[first + k] = r.tasks[k];
    first += r.tasksDone;
    if (r.end == StraightRun::End::ReadHung && first < tasks.size()) {
      const SectorTask& t = tasks[first];
      if (t.a >= t.e || (t.trim && !t.leading && !t.trailing)) {
        if (t.trim && t.a < t.e) map_.set(*ByteRange::between(t.a, t.e), RescueState::NonScraped);
        ++first;
      }
    }
    tick(false);
    switch (r.end) {
      case StraightRun::End::Stopped: tick(true); return Step::Stop;
      case StraightRun::End::WriteFailed:
      case StraightRun::End::WriteHung: return Step::WriteFail;
      default: break;
    }
  }
  return Step::Go;
}

// Every area left unfinished reads as the marker pattern in the copy: a
// stop leaves the untried ones as they were, to be read when the run goes on.
Rescuer::Step Rescuer::finish(Step step, bool finished) {
  if (step != Step::WriteFail)
    for (const RescueArea& a : map_.areasWithin(domain_))
      if (a.state != RescueState::Finished && (finished || a.state != RescueState::NonTried) && !fill(a.bytes)) {
        step = Step::WriteFail;
        break;
      }
  if (finished && step == Step::Go) {
    phase_ = '+';
    pass_ = 1;
    position_ = domain_.empty() ? domain_.start() : domain_.end() - 1;
  }
  tick(true);
  saveMap();
  return step;
}

std::optional<size_t> Rescuer::readBounded(uint64_t position, size_t length, milliseconds limit,
                                           Clock::duration& took) {
  if (!buffer_ || buffer_->size() < length) buffer_ = std::make_shared<IoBuffer>(std::max(length, s_.blockSize));
  const Clock::time_point start = Clock::now();
  reader_.startRead(position, buffer_, length);
  std::optional<size_t> got = reader_.finish(limit);
  took = Clock::now() - start;
  if (!got) buffer_.reset();  // the late read keeps the old one
  return got;
}

bool Rescuer::write(uint64_t position, const std::shared_ptr<IoBuffer>& buffer, size_t length) {
  writer_.startWrite(position - domain_.start() + s_.targetStart, buffer, length);
  std::optional<size_t> put = writer_.finish(s_.waits.write);
  if (!put) buffer_.reset();
  return put && *put == length;
}

bool Rescuer::fill(const ByteRange& bytes) {
  auto pattern = std::make_shared<IoBuffer>(static_cast<size_t>(std::min<uint64_t>(bytes.length(), s_.blockSize)),
                                            kUnreadableFill);
  for (uint64_t p = bytes.start(); p < bytes.end();) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(pattern->size(), bytes.end() - p));
    if (!write(p, pattern, n)) return false;
    p += n;
  }
  return true;
}

void Rescuer::tick(bool publish) {
  const RescueCounts c = counts();
  const uint64_t pending =
      c.nonTried + c.nonTrimmed + (s_.scrape ? c.nonScraped : 0) + (retriesLeft_ > 0 && phase_ != '+' ? c.bad : 0);
  const uint64_t length = domain_.length(), done = length - std::min(length, pending);
  const uint64_t blocks = progress_.upper();
  progress_.setPosition(done == length ? blocks : done / s_.blockSize);
  progress_.setText(format("%llu", static_cast<unsigned long long>(
                                       done == length ? (length + kSectorSize - 1) / kSectorSize : done / kSectorSize)));
  if (const auto rateTime = since(rateSince_); rateTime >= milliseconds(1000)) {
    currentRate_ = (rescuedThisRun_ - rateBytes_) * 1000 / static_cast<uint64_t>(rateTime.count());
    rateBytes_ = rescuedThisRun_;
    rateSince_ = Clock::now();
  }
  if (hooks_.saveMap && since(lastSave_) >= s_.waits.mapInterval) saveMap();
  if (hooks_.monitor && (publish || since(lastPublish_) >= kPublishEvery)) {
    hooks_.monitor->publish(snapshot());
    lastPublish_ = Clock::now();
  }
}

// What the map calls finished must be on the target first, so a power cut
// never leaves a map that promises bytes the copy does not hold.
bool Rescuer::saveMap() {
  lastSave_ = Clock::now();
  if (!hooks_.saveMap) return true;
  map_.currentStatus = phase_;
  map_.currentPass = pass_;
  map_.currentPosition = position_;
  if (!target_->flush()) return false;
  return hooks_.saveMap();
}

RescueSnapshot Rescuer::snapshot() const {
  RescueSnapshot snap;
  snap.domain = domain_;
  snap.areas = map_.areasWithin(domain_);
  snap.counts = map_.counts(domain_);
  snap.phase = phase_;
  snap.pass = pass_;
  snap.forwards = forwards_;
  snap.position = position_;
  snap.readErrors = readErrors_;
  snap.slowReads = slowReads_;
  snap.hungReads = hungReads_;
  snap.runTime = since(started_);
  snap.averageRate = rescuedThisRun_ * 1000 / static_cast<uint64_t>(std::max<int64_t>(1, snap.runTime.count()));
  snap.currentRate = currentRate_;
  snap.sinceLastGoodRead = since(lastGood_);
  return snap;
}

}  // namespace

std::string rescuePhaseText(const RescueSnapshot& snapshot) {
  const char* way = snapshot.forwards ? "forwards" : "backwards";
  switch (snapshot.phase) {
    case '?': return format("Copying non-tried blocks... Pass %u (%s)", snapshot.pass, way);
    case '*': return format("Trimming failed blocks... (%s)", way);
    case '/': return format("Scraping failed blocks... (%s)", way);
    case '-': return format("Retrying bad sectors... Retry %u (%s)", snapshot.pass, way);
    default: return "Finished";
  }
}

RescueEnd runRescue(const RescueSettings& settings, std::shared_ptr<SectorDevice> source,
                    std::shared_ptr<SectorDevice> target, RescueMap& map, ProgressBlock& progress,
                    const RescueHooks& hooks, RescueSnapshot* last) {
  map.cover(settings.domain);
  Rescuer rescuer(settings, std::move(source), std::move(target), map, progress, hooks);
  return rescuer.run(last);
}

}  // namespace dudorazu
