// End to end against the cache simulator: each test starts its own simulator in
// its own global directory, runs tallyscope on it and reads the archive back.
// A simulator is stopped with SIGTERM (it removes its segment and reaps its
// children) also when a test fails; if it did not stop cleanly its segment is
// removed here by id, after checking the key.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/shm.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "shrpc/shrpclayout.h"
#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

const char kDetachLine[] = "Tally is detaching from shared cache.\n";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The simulator's documented counter formula at tick 0, written out independently.
int64_t expectedWord(int slot, int w, int count32) {
  if (w < count32) {
    uint32_t v = (uint32_t)slot * 16777216u + (uint32_t)w * 4096u;
    return (w % 2) ? v ^ 0x80000000u : v;
  }
  int j = w - count32;
  int64_t v = (int64_t)(slot + 1) * (int64_t(1) << 40) + (int64_t)j * (1 << 20);
  return j % 3 == 2 ? -v : v;
}
std::string expectedAppStat(uint32_t time, int counters) {
  std::string line = "32 " + std::to_string(time) + " AppStat 0 0";
  for (int c = 0; c < counters; c++) line += " " + std::to_string(c * 65536);
  return line;
}

struct SlotLine {
  int slot = -1, inUse = 0, pid = 0, session = 0;
  unsigned kind = 0;
  std::string name;
};

// A running simulator, with the slot lines and the ready line it printed.
struct Sim {
  TempDir dir;
  std::unique_ptr<BackgroundProgram> prog;
  std::string cacheName;
  int shmid = -1;
  key_t key = 0;
  std::vector<SlotLine> slots;

  explicit Sim(std::vector<std::string> extra) {
    std::vector<std::string> argv{CACHESIM_BIN, "--exit-with-parent", "--dir", globalDir()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    prog.reset(new BackgroundProgram(argv));
    waitUntil([this] { return !prog->running() || contains(prog->currentOut(), "cachesim ready"); });
    for (const std::string& line : splitLines(prog->currentOut())) {
      SlotLine s;
      char text[512] = "";
      if (sscanf(line.c_str(), "slot %d inUse=%d kind=%u pid=%d session=%d name=%511[^\n]", &s.slot, &s.inUse,
                 &s.kind, &s.pid, &s.session, text) == 6) {
        s.name = text;
        slots.push_back(s);
      } else if (sscanf(line.c_str(), "cachesim ready cache=%511s key=0x%x shmid=%d", text, (unsigned*)&key,
                        &shmid) == 3) {
        cacheName = text;
      }
    }
  }
  ~Sim() { stop(); }
  void stop() {
    if (!prog) return;
    prog->sendSignal(SIGTERM);
    bool clean = contains(prog->wait(30).out, "cachesim stopped");
    struct shmid_ds ds;
    if (!clean && shmid >= 0 && shmctl(shmid, IPC_STAT, &ds) == 0 && ds.shm_perm.__key == key)
      shmctl(shmid, IPC_RMID, nullptr);
    prog.reset();
  }

  std::string globalDir() const { return dir.file("global"); }
  std::string file(const std::string& name) const { return dir.file(name); }
  const SlotLine* slotWithPid(int pid) const {
    for (const SlotLine& s : slots)
      if (s.pid == pid && s.inUse) return &s;
    return nullptr;
  }
  RunOptions options() const {
    RunOptions opts;
    opts.env = {"QUILLON_GLOBAL_DIR=" + globalDir(), "QL_CORE_TIME_OUT=1"};
    return opts;
  }
  RunResult tally(std::vector<std::string> args) const {
    args.insert(args.begin(), TALLYSCOPE_BIN);
    return runProgram(args, options());
  }
};

// Value i of a record as written (the 64-bit counters are signed).
int64_t value(const ArchiveRecord& r, size_t i) {
  return r.numbers[i].negative ? -(int64_t)r.numbers[i].magnitude : (int64_t)r.numbers[i].magnitude;
}

std::string underscored(std::string s) {
  for (char& c : s)
    if (c == ' ') c = '_';
  return s;
}

std::vector<std::string> namesOf(const Sim& sim, std::vector<int> slots) {
  std::vector<std::string> names;
  for (int i : slots) names.push_back(underscored(sim.slots.at(i).name));
  return names;
}

// Checks one sample: the cache-process records (types 1 to 8) are those of the
// slots given, in this order, and every value is the formula's for its slot;
// with host statistics the process's 30 OS values follow. Returns the records
// after the cache-process ones.
std::vector<const ArchiveRecord*> checkCacheRecords(const Sim& sim, const Sample& sample,
                                                    const std::vector<int>& slots, bool hostStats) {
  std::vector<std::string> names;
  size_t i = 0;
  for (; i < sample.records.size() && sample.records[i]->typeId <= 8; i++) {
    const ArchiveRecord& r = *sample.records[i];
    names.emplace_back(r.instance());
    const SlotLine* s = sim.slotWithPid((int)value(r, 3));
    if (!s) {
      ADD_FAILURE() << "no process with this pid: " << r.text.substr(0, 80);
      continue;
    }
    const int count32 = s->kind == 1 ? 137 : s->kind == 2 ? 239 : s->kind == 4 ? 71 : 169;
    const int count64 = s->kind == 1 ? 19 : s->kind == 2 ? 65 : s->kind == 4 ? 0 : 56;
    EXPECT_EQ(r.typeId, s->kind);
    EXPECT_EQ(value(r, 4), s->session < 0 ? 4294967295 : s->session);
    if (r.tokenCount() != 3u + count32 + count64 + (hostStats ? 30 : 0)) {
      ADD_FAILURE() << s->name << " has " << r.tokenCount() << " values";
      continue;
    }
    for (int w = 2, bad = 0; w < count32 + count64 && bad < 3; w++) {
      if (value(r, 3 + w) != expectedWord(s->slot, w, count32)) {
        ADD_FAILURE() << s->name << " word " << w << " is " << value(r, 3 + w) << ", expected "
                      << expectedWord(s->slot, w, count32);
        bad++;
      }
    }
  }
  EXPECT_EQ(names, namesOf(sim, slots));
  return std::vector<const ArchiveRecord*>(sample.records.begin() + i, sample.records.end());
}

}  // namespace

// One cache sampled several ways, then stopped. Slots: 0 monitor, 1 keeper, 2-3
// page manager threads, 4-6 Aio page servers (5 named with spaces), 7 a remote
// page server, 8-10 the entries that must get no record (not in use, pid 0, pid
// -1), 11-14 envoys in sessions 2, 3, 4, 2.
TEST(CacheEndToEnd, RecordsHoldExactlyTheCacheValuesForEverySelection) {
  Sim sim({"--deterministic", "--interval", "0", "--pagemgr-threads", "2", "--pgsvrs", "3", "--envoys", "4",
           "--envoy-sessions", "3", "--counters", "6"});
  ASSERT_NE(sim.cacheName, "") << sim.prog->currentOut();
  ASSERT_EQ(underscored(sim.slots.at(5).name), "Aio_pgsvr_1");
  const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14};

  // Every process with its host statistics, four application counters, the monitor's record.
  RunResult r = sim.tally({"simkeeper", "-i", "1", "-t", "5", "-n", "4", "-f", sim.file("c")});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(contains(r.err, "Monitoring cache:     " + sim.cacheName)) << r.err;
  Archive archive = readCompleteArchive(sim.file("c.out"));
  std::vector<Sample> samples = samplesOf(archive);
  ASSERT_EQ(samples.size(), 5u);
  for (size_t k = 0; k < samples.size(); k++) {
    std::vector<const ArchiveRecord*> rest = checkCacheRecords(sim, samples[k], all, true);
    ASSERT_GE(rest.size(), 2u);
    EXPECT_EQ(rest[0]->text, expectedAppStat(samples[k].time, 4));
    EXPECT_EQ(rest[1]->typeId, 16u);
    EXPECT_EQ(rest[1]->instance(), "Tally");
    EXPECT_EQ(rest[1]->tokenCount(), 3u + 3 + 30);
  }

  // Selections, without host statistics (-Y: the monitor's record has no OS values).
  struct Case {
    std::vector<std::string> flags;
    std::vector<int> slots;
    int counters;
  } cases[] = {
      {{"-p", "2", "-p", "4"}, {0, 1, 2, 3, 4, 5, 6, 7, 11, 13, 14}, 0},
      {{"-S"}, {0, 1}, 0},
      {{"-P", "-J"}, {0, 1, 4, 5, 6, 2}, 0},
      {{"-n", "10"}, all, 6},  // clamped to the cache's six counters
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.flags));
    std::string file = sim.file("sel" + std::to_string(n++));
    std::vector<std::string> args{"simkeeper", "-I", "200", "-t", "2", "-Y", "-f", file};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    r = sim.tally(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    archive = readCompleteArchive(file + ".out");
    samples = samplesOf(archive);
    ASSERT_EQ(samples.size(), 2u);
    for (const Sample& sample : samples) {
      std::vector<const ArchiveRecord*> rest = checkCacheRecords(sim, sample, c.slots, false);
      ASSERT_EQ(rest.size(), c.counters ? 2u : 1u);
      EXPECT_TRUE(!c.counters || rest[0]->text == expectedAppStat(sample.time, c.counters)) << rest[0]->text;
      EXPECT_EQ(rest.back()->tokenCount(), 6u) << rest.back()->text;
    }
  }

}

// The cache's monitor dies: tallyscope notices it by itself, says why, detaches
// and ends with status 0; under -q the detach line is all it writes.
TEST(CacheEndToEnd, LossOfTheCacheMonitorEndsTheRun) {
  for (bool quiet : {false, true}) {
    Sim sim({"--deterministic", "--kill-monitor-after", "1500"});
    ASSERT_NE(sim.cacheName, "") << sim.prog->currentOut();
    std::vector<std::string> args{"simkeeper", "-I", "200", "-Y", "-f", sim.file("loss")};
    if (quiet) args.push_back("-q");
    RunResult r = sim.tally(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    if (quiet) {
      EXPECT_EQ(r.out + r.err, kDetachLine);
    } else {
      EXPECT_TRUE(contains(r.err, "Shutting down due to loss of cachewarden process " +
                                      std::to_string(sim.slots.at(0).pid) + "\n" + kDetachLine))
          << r.err;
    }
    EXPECT_GE(samplesIn(sim.file("loss.out")), 2u);
  }
}

// A segment its owner alone may read is still found (the second, owner-only
// request), padded hot locks are accepted, the cache name works as well as the
// keeper's, and a termination request ends the run with status 5 after the
// detach. Any process may write its own name in the cache: a newline there must
// not split its record or forge a line of its own, and a tab must not stop a
// reader; every control byte of a name is written as '_'.
TEST(CacheEndToEnd, OwnerOnlyCacheNamedDirectlyUntilTerminatedAndControlBytesInANameMadeHarmless) {
  Sim sim({"--deterministic", "--interval", "0", "--owner-only", "--padded-hot-locks", "--envoys", "1"});
  ASSERT_NE(sim.cacheName, "") << sim.prog->currentOut();
  SlotLine& envoy = sim.slots.at(9);
  ASSERT_EQ(envoy.name, "envoy0");
  char* base = (char*)shmat(sim.shmid, nullptr, 0);
  ASSERT_NE(base, (char*)-1);
  auto* entry = (ShrPcProcessTableEntrySType*)(base + ((ShrPcConfigSType*)base)->processTableOffset) + envoy.slot;
  const char forged[] = "e\n8 0 forged 0 0\tx\r\x7f";
  static_assert(sizeof forged <= SHRPC_PROCESS_NAME_SIZE, "the name field holds it");
  memcpy(entry->processName, forged, sizeof forged);
  shmdt(base);
  envoy.name = "e_8_0_forged_0_0_x__";

  std::string file = sim.file("term");
  BackgroundProgram tally({TALLYSCOPE_BIN, sim.cacheName, "-I", "200", "-Y", "-u", "0", "-f", file}, sim.options());
  // The monitor's own record ends each sample.
  waitUntil([&] { return !tally.running() || readArchive(file + ".out").select("Tally").size() >= 2; });
  ASSERT_TRUE(tally.running());
  tally.sendSignal(SIGTERM);
  RunResult r = tally.wait(30);
  EXPECT_EQ(r.status, 5) << r.out << r.err;
  EXPECT_TRUE(contains(r.err, kDetachLine)) << r.err;
  // Every record whole, with the values of its slot, and no other: a forged
  // line would fail the reading or the list of names.
  Archive archive = readCompleteArchive(file + ".out");
  std::vector<Sample> samples = samplesOf(archive);
  ASSERT_GE(samples.size(), 2u);
  for (const Sample& sample : samples) checkCacheRecords(sim, sample, {0, 1, 2, 3, 4, 5, 9}, false);
}

// Caches that cannot be sampled are refused with status 3 and the reason; one
// that finishes initialising within the wait is sampled.
TEST(CacheEndToEnd, RefusesCachesItCannotSampleAndWaitsForALateOne) {
  struct Case {
    std::vector<std::string> simArgs;
    int status;
    std::string out, err;
  } cases[] = {
      // the size is looked at before the level
      {{"--bad-size", "--compat-level", "64939"}, 3, "", ".  Shared memory is corrupt.\n"},
      {{"--compat-level", "64939"},
       3,
       "",
       "\n   Incompatible shared cache.  The shared cache monitor and this process\n"
       "   are from different versions of Quillon.\n"
       "     cachewarden process compatibility level = 64939\n"
       "     This process' shared cache compatibility level = 64940.\n"},
      {{"--never-init"},
       3,
       "[ERROR]: Time out after 2 seconds waiting for cache initialization to complete.  Monitor died?\n",
       ""},
      {{"--init-delay", "1000"}, 0, "", kDetachLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.simArgs[0]);
    Sim sim(c.simArgs);
    ASSERT_NE(sim.cacheName, "") << sim.prog->currentOut();
    RunResult r = sim.tally({"simkeeper", "-I", "200", "-t", "1", "-Y", "-f", sim.file("x")});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_TRUE(contains(r.err, c.err)) << r.err;
    if (c.status == 3 && c.out.empty()) {
      EXPECT_TRUE(contains(r.err, "[Error] Unable to attach to the shared cache '" + sim.cacheName + "'.\nReason:"));
      EXPECT_FALSE(contains(r.err, kDetachLine)) << r.err;
    }
    EXPECT_EQ(samplesIn(sim.file("x.out")), c.status == 0 ? 1u : 0u);
  }
}

// tallyread over a simulated cache's archive: with deterministic counters a
// level grows with the slot, so the last envoys rank first.
TEST(CacheEndToEnd, TallyReadRanksAndSummarisesTheCacheRecords) {
  Sim sim({"--envoys", "4", "--deterministic", "--interval", "100"});
  ASSERT_NE(sim.cacheName, "") << sim.prog->currentOut();
  RunResult run = sim.tally({"simkeeper", "-Y", "-q", "-i", "1", "-t", "3", "-f", sim.file("c")});
  ASSERT_EQ(run.status, 0) << run.err;
  auto tallyread = [&](const std::string& command, std::vector<std::string> args) {
    args.insert(args.begin(), {TALLYREAD_BIN, command, sim.file("c.out")});
    return runProgram(args);
  };
  RunResult top = tallyread("top", {"--type", "Envoy", "--field", "WorkingSetSize", "--by", "last", "-n", "2",
                             "--instance", "envoy*"});
  ASSERT_EQ(top.status, 0) << top.err;
  std::vector<std::string> ranked = splitLines(top.out);
  ASSERT_EQ(ranked.size(), 3u) << top.out;
  EXPECT_NE(ranked[1].find("envoy3["), std::string::npos) << top.out;
  EXPECT_NE(ranked[2].find("envoy2["), std::string::npos) << top.out;
  RunResult summary = tallyread("summary", {"--type", "Shrpc", "--fields", "TotalPageReads"});
  EXPECT_NE(summary.out.find("pages/s        2"), std::string::npos) << summary.out;  // rates of 3 samples
}
