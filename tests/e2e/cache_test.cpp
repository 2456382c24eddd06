// End to end against the cache simulator: each test starts its own simulator in
// its own global directory, runs tallyscope on it and reads the archive back.
// Every simulator is stopped with SIGTERM (which removes its segment and reaps
// its children) also when a test fails; a simulator that did not stop cleanly has
// its segment removed here by id, after checking the key.
#ifdef CACHESIM_BIN

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/runprocess.h"

namespace {

const uint32_t kNoSession = 4294967295u;
const char kDetachLine[] = "Tally is detaching from shared cache.\n";

// ---- the simulator's documented counter formula, written out independently ----
uint32_t expected32(int s, int w, uint64_t t) {
  uint32_t v = (uint32_t)s * 16777216u + (uint32_t)w * 4096u + (uint32_t)(t % 4096);
  return (w % 2) ? v ^ 0x80000000u : v;
}
int64_t expected64(int s, int j, uint64_t t) {
  int64_t v = (int64_t)(s + 1) * (int64_t(1) << 40) + (int64_t)j * (1 << 20) + (int64_t)(t % (1 << 20));
  return j % 3 == 2 ? -v : v;
}
uint32_t expectedCounter(int c, uint64_t t) { return (uint32_t)(c * 65536 + t % 65536); }

// Values per record: 32-bit words from processId on, then 64-bit words.
struct Shape {
  int count32, count64;
};
Shape shapeOf(unsigned kind) {
  switch (kind) {
    case 1: return {137, 19};
    case 2: return {239, 65};
    case 4: return {71, 0};
    case 8: return {169, 56};
  }
  return {0, 0};
}

struct SlotLine {
  int slot = -1;
  bool inUse = false;
  unsigned kind = 0;
  int pid = 0;
  int session = 0;
  std::string name;
};

std::string underscored(std::string s) {
  for (char& c : s)
    if (c == ' ') c = '_';
  return s;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

class Sim {
 public:
  explicit Sim(std::vector<std::string> extra = {}) {
    _globalDir = _dir.path() + "/global";
    std::vector<std::string> argv{CACHESIM_BIN, "--exit-with-parent", "--dir", _globalDir};
    argv.insert(argv.end(), extra.begin(), extra.end());
    _prog.reset(new BackgroundProgram(argv));
    for (int i = 0; i < 3000 && !readyLine(); i++) {
      if (!_prog->running()) break;
      sleepMs(10);
    }
    parse();
  }
  ~Sim() { stop(); }

  bool ready() const { return !_cacheName.empty(); }
  const std::string& cacheName() const { return _cacheName; }
  const std::string& globalDir() const { return _globalDir; }
  const std::string& outDir() const { return _dir.path(); }
  const std::vector<SlotLine>& slots() const { return _slots; }
  const SlotLine& slot(int i) const { return _slots.at(i); }
  std::string output() const { return _prog->currentOut() + _prog->currentErr(); }

  RunResult runTally(std::vector<std::string> args, double timeoutSec = 90) {
    std::vector<std::string> argv{TALLYSCOPE_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    RunOptions opts = tallyOptions();
    opts.timeoutSec = timeoutSec;
    return runProgram(argv, opts);
  }
  // The simulator's global directory; a guarantee failure ends at once instead
  // of waiting for a debugger.
  RunOptions tallyOptions() const {
    RunOptions opts;
    opts.env.push_back("QUILLON_GLOBAL_DIR=" + _globalDir);
    opts.env.push_back("QL_CORE_TIME_OUT=1");
    return opts;
  }

  void stop() {
    if (!_prog) return;
    if (_prog->running()) {
      _prog->sendSignal(SIGTERM);
      _prog->wait(30);
    }
    bool clean = _prog->currentOut().find("cachesim stopped") != std::string::npos;
    if (!clean && _shmid >= 0) {
      struct shmid_ds ds;
      if (shmctl(_shmid, IPC_STAT, &ds) == 0 && (long)ds.shm_perm.__key == _key) shmctl(_shmid, IPC_RMID, nullptr);
    }
    _prog.reset();
  }
  int shmid() const { return _shmid; }
  long key() const { return _key; }

 private:
  bool readyLine() const { return _prog->currentOut().find("cachesim ready") != std::string::npos; }
  void parse() {
    for (const std::string& line : splitLines(_prog->currentOut())) {
      if (line.rfind("slot ", 0) == 0) {
        SlotLine s;
        char name[64] = "";
        int inUse = 0;
        if (sscanf(line.c_str(), "slot %d inUse=%d kind=%u pid=%d session=%d name=%63[^\n]", &s.slot, &inUse, &s.kind,
                   &s.pid, &s.session, name) == 6) {
          s.inUse = inUse != 0;
          s.name = name;
          _slots.push_back(s);
        }
      } else if (line.rfind("cachesim ready ", 0) == 0) {
        char cache[512] = "";
        unsigned key = 0;
        if (sscanf(line.c_str(), "cachesim ready cache=%511s key=0x%x shmid=%d", cache, &key, &_shmid) == 3) {
          _cacheName = cache;
          _key = (long)(int)key;
        }
      }
    }
  }

  TempDir _dir;
  std::string _globalDir;
  std::unique_ptr<BackgroundProgram> _prog;
  std::string _cacheName;
  int _shmid = -1;
  long _key = 0;
  std::vector<SlotLine> _slots;
};

// One record line of the archive.
struct Record {
  std::string line;
  std::vector<std::string> tok;
  unsigned type() const { return (unsigned)std::stoul(tok.at(0)); }
  uint32_t time() const { return (uint32_t)std::stoul(tok.at(1)); }
  const std::string& name() const { return tok.at(2); }
  uint64_t u(size_t i) const { return std::stoull(tok.at(i)); }
  int64_t s(size_t i) const { return std::stoll(tok.at(i)); }
};

// The records after the header; also checks that each line is single-spaced
// with no space before its newline.
std::vector<Record> readRecords(const std::string& path) {
  std::string text = readFileText(path);
  size_t end = text.find("\nENDHEADER\n\n");
  EXPECT_NE(end, std::string::npos) << path;
  std::vector<Record> records;
  if (end == std::string::npos) return records;
  std::string body = text.substr(end + 12);
  EXPECT_TRUE(body.empty() || body.back() == '\n');
  for (const std::string& line : splitLines(body)) {
    Record r;
    r.line = line;
    r.tok = splitWords(line);
    EXPECT_FALSE(line.empty() || line.front() == ' ' || line.back() == ' ' || line.find("  ") != std::string::npos)
        << "badly spaced record: [" << line << "]";
    if (!r.tok.empty()) records.push_back(r);
  }
  return records;
}

// Number of record lines written so far (0 while the file or its header is missing).
size_t recordLinesSoFar(const std::string& path) {
  std::string text = readFileText(path);
  size_t end = text.find("\nENDHEADER\n\n");
  if (end == std::string::npos) return 0;
  return splitLines(text.substr(end + 12)).size();
}

// Records grouped by sample (consecutive records with the same time stamp).
std::vector<std::vector<Record>> bySample(const std::vector<Record>& records) {
  std::vector<std::vector<Record>> samples;
  for (const Record& r : records) {
    if (samples.empty() || samples.back().front().time() != r.time()) samples.emplace_back();
    samples.back().push_back(r);
  }
  return samples;
}

// Cache-process records of one sample (types 1 to 8), as slot names.
std::vector<std::string> cacheNames(const std::vector<Record>& sample) {
  std::vector<std::string> names;
  for (const Record& r : sample)
    if (r.type() <= 8) names.push_back(r.name());
  return names;
}

std::vector<std::string> namesOf(const Sim& sim, std::initializer_list<int> slots) {
  std::vector<std::string> names;
  for (int i : slots) names.push_back(underscored(sim.slot(i).name));
  return names;
}

// Index of the slot whose simulator line carries this pid.
const SlotLine* slotForPid(const Sim& sim, int pid) {
  for (const SlotLine& s : sim.slots())
    if (s.pid == pid && s.inUse) return &s;
  return nullptr;
}

// Checks every value of a cache-process record against the formula. With a
// fixed tick, each value must carry exactly that tick; otherwise each value
// carries its own tick, which is returned (the largest seen) for ordering checks.
uint64_t checkProcessRecord(const Sim& sim, const Record& r, bool hostStats, int64_t fixedTick) {
  const SlotLine* s = slotForPid(sim, (int)r.u(3));
  EXPECT_NE(s, nullptr) << r.line.substr(0, 80);
  if (!s) return 0;
  Shape shape = shapeOf(s->kind);
  EXPECT_EQ(r.type(), s->kind);
  EXPECT_EQ(r.name(), underscored(s->name));
  EXPECT_EQ(r.tok.size(), 3u + shape.count32 + shape.count64 + (hostStats ? 30 : 0)) << s->name;
  if (r.tok.size() < 3u + shape.count32 + shape.count64) return 0;
  EXPECT_EQ(r.u(4), s->session < 0 ? kNoSession : (uint64_t)s->session);
  uint64_t maxTick = 0;
  int bad = 0;
  for (int w = 2; w < shape.count32 && bad < 3; w++) {
    uint64_t v = r.u(3 + w);
    uint64_t t = fixedTick >= 0 ? (uint64_t)fixedTick : v % 4096;
    if (v != expected32(s->slot, w, t)) {
      ADD_FAILURE() << s->name << " 32-bit word " << w << " is " << v << ", expected " << expected32(s->slot, w, t);
      bad++;
    }
    maxTick = std::max(maxTick, t);
  }
  for (int j = 0; j < shape.count64 && bad < 3; j++) {
    int64_t v = r.s(3 + shape.count32 + j);
    uint64_t t = fixedTick >= 0 ? (uint64_t)fixedTick : (uint64_t)((v < 0 ? -v : v) % (1 << 20));
    if (v != expected64(s->slot, j, t)) {
      ADD_FAILURE() << s->name << " 64-bit word " << j << " is " << v << ", expected " << expected64(s->slot, j, t);
      bad++;
    }
  }
  return maxTick;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// The simulator itself: on SIGTERM it leaves no segment, lock file or child behind.
TEST(CacheSimulator, TerminationRemovesSegmentLockFilesAndChildren) {
  Sim sim({"--envoys", "2", "--interval", "50"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string locks = sim.globalDir() + "/locks/";
  EXPECT_TRUE(contains(readFileText(locks + sim.cacheName() + "..LCK"), "3.2.8.1"));
  EXPECT_EQ(readFileText(locks + "quillon.hostid").size(), 8u);
  struct shmid_ds ds;
  ASSERT_EQ(shmctl(sim.shmid(), IPC_STAT, &ds), 0);
  EXPECT_EQ((long)ds.shm_perm.__key, sim.key());
  EXPECT_EQ(ds.shm_perm.mode & 0777, 0640u);
  sim.stop();
  EXPECT_TRUE(shmctl(sim.shmid(), IPC_STAT, &ds) != 0 || (long)ds.shm_perm.__key != sim.key());
  EXPECT_TRUE(readFileText(locks + sim.cacheName() + "..LCK").empty());
  EXPECT_TRUE(readFileText(locks + "simkeeper..LCK").empty());
  EXPECT_EQ(readFileText(locks + "quillon.hostid").size(), 8u);
  for (const SlotLine& s : sim.slots())
    if (s.pid > 0) {
      EXPECT_NE(kill(s.pid, 0), 0) << s.name;
    }
}

// The sampled records carry exactly what the cache holds, in slot order, followed
// by the application counters and the monitor's own record; the reader accepts
// the file.
TEST(CacheEndToEnd, RecordsHoldExactlyTheCacheValuesInSlotOrder) {
  Sim sim({"--deterministic", "--interval", "0", "--pagemgr-threads", "2", "--counters", "6"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/c";
  RunResult r = sim.runTally({"simkeeper", "-i", "1", "-t", "5", "-n", "4", "-f", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(contains(r.err, "Monitoring cache:     " + sim.cacheName())) << r.err;
  EXPECT_TRUE(contains(r.err, kDetachLine)) << r.err;

  std::vector<std::vector<Record>> samples = bySample(readRecords(file + ".out"));
  ASSERT_EQ(samples.size(), 5u);
  // Slots: 0 monitor, 1 keeper, 2-3 page manager threads, 4-5 Aio, 6 remote,
  // 7-9 the entries that must get no record, 10-13 envoys.
  std::vector<std::string> expected = namesOf(sim, {0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 13});
  EXPECT_EQ(expected[5], "Aio_pgsvr_1");
  for (const auto& sample : samples) {
    EXPECT_EQ(cacheNames(sample), expected);
    size_t i = 0;
    for (; i < sample.size() && sample[i].type() <= 8; i++) checkProcessRecord(sim, sample[i], true, 0);
    ASSERT_LT(i + 1, sample.size());
    const Record& app = sample[i];
    EXPECT_EQ(app.type(), 32u);
    ASSERT_EQ(app.tok.size(), 3u + 2 + 4) << app.line;
    EXPECT_EQ(app.name(), "AppStat");
    EXPECT_EQ(app.u(3), 0u);
    EXPECT_EQ(app.u(4), 0u);
    for (int c = 0; c < 4; c++) EXPECT_EQ(app.u(5 + c), expectedCounter(c, 0)) << c;
    const Record& tally = sample[i + 1];
    EXPECT_EQ(tally.type(), 16u);
    EXPECT_EQ(tally.name(), "Tally");
    EXPECT_EQ(tally.tok.size(), 3u + 3 + 30);
    EXPECT_EQ(tally.u(4), 0u);
  }
  for (size_t k = 1; k < samples.size(); k++) EXPECT_GT(samples[k][0].time(), samples[k - 1][0].time());
#ifdef TALLYREAD_BIN
  RunResult check = runProgram({TALLYREAD_BIN, "check", file + ".out"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
#endif
}

// While the simulator updates its counters, each value is still one the cache
// held (its slot, its word and a tick), and later samples see later ticks.
TEST(CacheEndToEnd, ValuesFollowTheCountersAsTheyChange) {
  Sim sim({"--deterministic", "--interval", "100", "--envoys", "2"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/moving";
  RunResult r = sim.runTally({"simkeeper", "-I", "400", "-t", "4", "-Y", "-f", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::vector<std::vector<Record>> samples = bySample(readRecords(file + ".out"));
  ASSERT_EQ(samples.size(), 4u);
  uint64_t first = 0, last = 0;
  for (size_t k = 0; k < samples.size(); k++) {
    uint64_t tick = 0;
    for (const Record& rec : samples[k]) {
      if (rec.type() == 16) {
        EXPECT_EQ(rec.tok.size(), 6u) << "no OS values with -Y: " << rec.line;
      }
      if (rec.type() > 8) continue;
      tick = std::max(tick, checkProcessRecord(sim, rec, false, -1));
    }
    if (k == 0) first = tick;
    last = tick;
  }
  EXPECT_GT(last, first);
}

TEST(CacheEndToEnd, SessionListKeepsOnlyTheListedSessionsEnvoys) {
  // Envoys 0..3 in sessions 2, 3, 4, 2.
  Sim sim({"--deterministic", "--interval", "0", "--envoys", "4", "--envoy-sessions", "3"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/sessions";
  RunResult r = sim.runTally({"simkeeper", "-I", "200", "-t", "2", "-Y", "-p", "2", "-p", "4", "-f", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::vector<std::vector<Record>> samples = bySample(readRecords(file + ".out"));
  ASSERT_EQ(samples.size(), 2u);
  // The not-in-use envoy in slot 6 has session 2 too: still no record.
  for (const auto& sample : samples) {
    EXPECT_EQ(cacheNames(sample), namesOf(sim, {0, 1, 2, 3, 4, 5, 9, 11, 12}));
    for (const Record& rec : sample)
      if (rec.type() <= 8) checkProcessRecord(sim, rec, false, 0);
    // No application counters were asked for.
    for (const Record& rec : sample) EXPECT_NE(rec.type(), 32u);
  }
}

TEST(CacheEndToEnd, KeeperOnlyOptionsSelectTheKeeperItsPageServersAndOnePageManager) {
  // Slots: 0 monitor, 1 keeper, 2-3 pagemgrThread, 4-6 Aio page servers, 7 remote,
  // 8 not in use, 9 "AioIdle" with pid 0, 10 no process, 11-12 envoys.
  Sim sim({"--deterministic", "--interval", "0", "--pagemgr-threads", "2", "--pgsvrs", "3", "--envoys", "2"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  struct Case {
    std::vector<std::string> flags;
    std::vector<std::string> names;
  } cases[] = {
      {{"-S"}, namesOf(sim, {0, 1})},
      {{"-P"}, namesOf(sim, {0, 1, 4, 5, 6})},
      {{"-J"}, namesOf(sim, {0, 1, 2})},
      {{"-P", "-J"}, namesOf(sim, {0, 1, 4, 5, 6, 2})},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string file = sim.outDir() + "/keeperonly" + std::to_string(n++);
    std::vector<std::string> args{"simkeeper", "-I", "200", "-t", "2", "-Y", "-f", file};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    RunResult r = sim.runTally(args);
    EXPECT_EQ(r.status, 0) << c.flags[0] << r.out << r.err;
    std::vector<std::vector<Record>> samples = bySample(readRecords(file + ".out"));
    ASSERT_EQ(samples.size(), 2u) << c.flags[0];
    for (const auto& sample : samples) {
      EXPECT_EQ(cacheNames(sample), c.names) << c.flags[0];
      for (const Record& rec : sample)
        if (rec.type() <= 8) checkProcessRecord(sim, rec, false, 0);
    }
  }
}

TEST(CacheEndToEnd, MoreApplicationCountersThanTheCacheHoldsAreClamped) {
  Sim sim({"--deterministic", "--interval", "0", "--counters", "3"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/clamp";
  RunResult r = sim.runTally({"simkeeper", "-I", "200", "-t", "2", "-Y", "-n", "10", "-f", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  int appRecords = 0;
  for (const Record& rec : readRecords(file + ".out")) {
    if (rec.type() != 32) continue;
    appRecords++;
    EXPECT_EQ(rec.line, "32 " + rec.tok[1] + " AppStat 0 0 " + std::to_string(expectedCounter(0, 0)) + " " +
                            std::to_string(expectedCounter(1, 0)) + " " + std::to_string(expectedCounter(2, 0)));
  }
  EXPECT_EQ(appRecords, 2);
}

// The cache's monitor dies: tallyscope notices it by itself, says why, detaches
// and ends with status 0; with -q it ends the same way without the reason.
TEST(CacheEndToEnd, LossOfTheCacheMonitorEndsTheRun) {
  for (bool quiet : {false, true}) {
    Sim sim({"--deterministic", "--kill-monitor-after", "1500"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    std::string file = sim.outDir() + "/loss";
    std::vector<std::string> args{"simkeeper", "-I", "200", "-Y", "-f", file};
    if (quiet) args.push_back("-q");
    RunResult r = sim.runTally(args, 60);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::string lossLine = "Shutting down due to loss of cachewarden process " + std::to_string(sim.slot(0).pid) + "\n";
    EXPECT_EQ(contains(r.err, lossLine), !quiet) << r.err;
    EXPECT_TRUE(contains(r.err, kDetachLine)) << r.err;
    EXPECT_GE(bySample(readRecords(file + ".out")).size(), 2u);
  }
}

TEST(CacheEndToEnd, TerminationSignalEndsWithStatusFiveAfterDetaching) {
  Sim sim({"--deterministic"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/term";
  BackgroundProgram tally({TALLYSCOPE_BIN, "simkeeper", "-I", "200", "-Y", "-u", "0", "-f", file}, sim.tallyOptions());
  for (int i = 0; i < 3000 && tally.running(); i++) {
    if (recordLinesSoFar(file + ".out") >= 2) break;
    sleepMs(10);
  }
  ASSERT_TRUE(tally.running()) << tally.currentErr();
  tally.sendSignal(SIGTERM);
  RunResult r = tally.wait(30);
  EXPECT_EQ(r.status, 5) << r.out << r.err;
  EXPECT_TRUE(contains(r.err, kDetachLine)) << r.err;
}

TEST(CacheEndToEnd, QuietRunStillReportsTheDetach) {
  Sim sim({"--deterministic", "--interval", "0"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  RunResult r = sim.runTally({"simkeeper", "-q", "-I", "100", "-t", "1", "-Y", "-f", sim.outDir() + "/quiet"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, kDetachLine);
}

// Caches that cannot be sampled are refused with status 3 and the reason.
TEST(CacheEndToEnd, RefusesCachesItCannotSample) {
  const std::string reasonStart = "[Error] Unable to attach to the shared cache '";
  {
    Sim sim({"--bad-size", "--compat-level", "64939"});  // the size is looked at first
    ASSERT_TRUE(sim.ready()) << sim.output();
    RunResult r = sim.runTally({"simkeeper", "-I", "200", "-t", "1", "-f", sim.outDir() + "/x"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, reasonStart + sim.cacheName() + "'.\nReason:")) << r.err;
    EXPECT_TRUE(contains(r.err, "Shared memory is corrupt.")) << r.err;
    EXPECT_FALSE(contains(r.err, "Incompatible")) << r.err;
    EXPECT_FALSE(contains(r.err, kDetachLine)) << r.err;
  }
  {
    Sim sim({"--compat-level", "64939"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    RunResult r = sim.runTally({"simkeeper", "-I", "200", "-t", "1", "-f", sim.outDir() + "/x"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_TRUE(contains(r.err,
                         "\n   Incompatible shared cache.  The shared cache monitor and this process\n"
                         "   are from different versions of Quillon.\n"
                         "     cachewarden process compatibility level = 64939\n"
                         "     This process' shared cache compatibility level = 64940.\n"))
        << r.err;
  }
  {
    Sim sim({"--never-init"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    RunResult r = sim.runTally({"simkeeper", "-I", "200", "-t", "1", "-f", sim.outDir() + "/x"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_TRUE(contains(r.out,
                         "[ERROR]: Time out after 2 seconds waiting for cache initialization to complete.  "
                         "Monitor died?\n"))
        << r.out;
  }
  {
    Sim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    RunResult r = sim.runTally({"nosuchkeeper", "-I", "200", "-t", "1", "-f", sim.outDir() + "/x"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "[ERROR]: Could not find a shared page cache for the keeper named nosuchkeeper on "
                                "this machine\n      Error Message: No keeper or cache for keeper named nosuchkeeper "
                                "was found on this machine."))
        << r.out;
  }
}

TEST(CacheEndToEnd, WaitsForACacheThatFinishesInitialisingLate) {
  Sim sim({"--deterministic", "--interval", "0", "--init-delay", "1000"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/late";
  RunResult r = sim.runTally({"simkeeper", "-I", "200", "-t", "1", "-Y", "-f", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(contains(sim.output(), "cachesim initDone"));
  EXPECT_EQ(bySample(readRecords(file + ".out")).size(), 1u);
}

// A segment readable by its owner only is still found (the second, owner-only
// request) and the cache name given directly works as well as the keeper name.
TEST(CacheEndToEnd, OwnerOnlySegmentAndCacheNameGivenDirectly) {
  Sim sim({"--deterministic", "--interval", "0", "--owner-only", "--padded-hot-locks", "--envoys", "1"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::string file = sim.outDir() + "/direct";
  RunResult r = sim.runTally({sim.cacheName(), "-I", "200", "-t", "1", "-Y", "-f", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::vector<std::vector<Record>> samples = bySample(readRecords(file + ".out"));
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(cacheNames(samples[0]), namesOf(sim, {0, 1, 2, 3, 4, 5, 9}));
}

#endif  // CACHESIM_BIN
