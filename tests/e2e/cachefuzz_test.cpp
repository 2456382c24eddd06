// A cache whose owners turn hostile while it is being sampled: every number of
// the configuration section and every field of the process table is overwritten, many
// times, with edge values (0, -1, 2^31-1, 2^32-1, 2^63 ...) and random ones.
// The monitor may stop with its loss message or go on sampling, but it must
// never fault, never read outside its mapping and never leave a cut or
// malformed line in its archive. Under the sanitizer build a read outside the
// mapping or a wild index is reported at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/cachefixture.h"
#include "support/runprocess.h"

namespace {

const char kCacheName[] = "fuzzkeeper~f00d";
const int kRounds = 12;
const int kWritesPerRound = 250;

struct Field {
  size_t offset;
  size_t size;  // 4 or 8: a number; anything else: an area written a word at a time
};

// The configuration section up to the first word of its hash bits: numbers of
// 4 and 8 bytes only, written a word at a time.
const Field kConfigNumbers = {0, offsetof(ShrPcConfigSType, extentIdHashBits) + 4};

#define ENTRY_FIELD(f) Field{offsetof(ShrPcProcessTableEntrySType, f), sizeof(ShrPcProcessTableEntrySType::f)}
const Field kEntryFields[] = {
    ENTRY_FIELD(inUse),           ENTRY_FIELD(inUseByKeeper),     ENTRY_FIELD(_sessionIsValid),
    ENTRY_FIELD(clientId),        ENTRY_FIELD(lostOtTimeoutExpired), ENTRY_FIELD(possibleDeadRefCount),
    ENTRY_FIELD(pad2),            ENTRY_FIELD(lockQueue),         ENTRY_FIELD(pad4),
    ENTRY_FIELD(smcLock),         ENTRY_FIELD(freeFrameCache),    ENTRY_FIELD(freePceCache),
    ENTRY_FIELD(lockedPageFrameId), ENTRY_FIELD(lockedPageCount), ENTRY_FIELD(pinnedFrameList),
    ENTRY_FIELD(readingPageId),   ENTRY_FIELD(readingIntoFrame),  ENTRY_FIELD(readingIntoHashTableSlot),
    ENTRY_FIELD(waitingForReadPageId), ENTRY_FIELD(waitingForReadIntoFrame),
    ENTRY_FIELD(waitingForReadIntoHashTableSlot), ENTRY_FIELD(waitingForQueueLock),
    ENTRY_FIELD(readingHashTableLockIndex), ENTRY_FIELD(_cacheSignature), ENTRY_FIELD(timeWaitingForOthersReaders),
    ENTRY_FIELD(recoveryState),   ENTRY_FIELD(recoveryStatus),    ENTRY_FIELD(previousProcessId),
    ENTRY_FIELD(failedReadCount), ENTRY_FIELD(startReadCount),    ENTRY_FIELD(finishReadCount),
    ENTRY_FIELD(stats.processId), ENTRY_FIELD(stats.sessionId),   ENTRY_FIELD(stats.cmn),
    ENTRY_FIELD(stats.u),         ENTRY_FIELD(stats.spaceWaster), ENTRY_FIELD(processName),
    ENTRY_FIELD(statType),        ENTRY_FIELD(requestBuffer),     ENTRY_FIELD(responseBuffer),
    ENTRY_FIELD(envoyTranLogBuf), ENTRY_FIELD(previousStatTotals),
};
#undef ENTRY_FIELD
const size_t kNameOffset = offsetof(ShrPcProcessTableEntrySType, processName);
const size_t kPidOffset = offsetof(ShrPcProcessTableEntrySType, stats.processId);

const uint64_t kEdgeValues[] = {0,           1,           2,           4,
                                8,           16,          64,          100000,
                                0x7fffffffu, 0x80000000u, 0xffffffffu, 0x100000000ull,
                                1ull << 63,  ~0ull >> 1,  ~0ull,       0xfffffffffffff000ull};

class Mutator {
 public:
  Mutator(char* base, size_t numSlots, unsigned seed) : _base(base), _numSlots(numSlots), _rng(seed) {}

  uint64_t value() {
    switch (_rng() % 4) {
      case 0: return (uint64_t)getpid();
      case 1: return ((uint64_t)_rng() << 32) | _rng();
      default: return kEdgeValues[_rng() % (sizeof kEdgeValues / sizeof kEdgeValues[0])];
    }
  }

  void writeField(char* record, const Field& f) {
    if (f.size == 4 || f.size == 8) {
      store(record + f.offset, f.size, value());
      return;
    }
    // An area: one word somewhere inside it, 8 bytes where aligned for them.
    size_t at = (_rng() % (f.size / 4)) * 4;
    bool wide = at + 8 <= f.size && (f.offset + at) % 8 == 0;
    store(record + f.offset + at, wide ? 8 : 4, value());
  }

  // The process's own 32-byte name: any bytes, control bytes and DEL among
  // them, possibly without a terminator.
  void writeName(char* entry) {
    volatile char* name = entry + kNameOffset;
    size_t len = _rng() % (SHRPC_PROCESS_NAME_SIZE + 1);
    for (size_t i = 0; i < (size_t)SHRPC_PROCESS_NAME_SIZE; i++) name[i] = i < len ? (char)(1 + _rng() % 255) : '\0';
  }

  void writeConfig() { writeField(_base, kConfigNumbers); }

  void writeEntry(char* table) {
    char* entry = table + (_rng() % _numSlots) * sizeof(ShrPcProcessTableEntrySType);
    const Field& f = kEntryFields[_rng() % (sizeof kEntryFields / sizeof kEntryFields[0])];
    if (f.offset == kNameOffset)
      writeName(entry);
    else
      writeField(entry, f);
  }

  unsigned next() { return _rng(); }

 private:
  static void store(char* at, size_t size, uint64_t v) {
    if (size == 8)
      *(volatile uint64_t*)at = v;
    else
      *(volatile uint32_t*)at = (uint32_t)v;
  }

  char* _base;
  size_t _numSlots;
  std::mt19937 _rng;
};

std::vector<SimSlot> fuzzSlots() {
  const int pid = getpid();
  return {{true, SHRPC_KIND_MONITOR, "cachewarden", -1, false, 0, pid},
          {true, SHRPC_KIND_KEEPER, "keeper", -1, false, 0, pid},
          {true, SHRPC_KIND_KEEPER, "pagemgrThread", -1, false, 0, pid},
          {true, SHRPC_KIND_PGSVR, "AioPgsvr 1", -1, false, 0, pid},
          {true, SHRPC_KIND_ENVOY, "envoy", 7, false, 0, pid},
          {true, SHRPC_KIND_ENVOY, "", 8, false, 0, pid},  // an empty name
          {},
          {}};  // two free slots
}

// What a round writes into: the configuration section, the process table, or both.
enum RoundKind { CONFIG_ONLY, TABLE_ONLY, BOTH };

}  // namespace

TEST(CacheFuzz, HostileWritesIntoTheLiveSegmentNeverFaultOrCutTheArchive) {
  TempGlobalDir gdir;
  TestCache seg(gdir.path(), fuzzSlots());
  ASSERT_NE(seg.base, nullptr) << "cannot create a test segment";
  gdir.writeLockFile(kCacheName, liveLock(NI_CACHE, (uint32_t)seg.key));
  const std::string pristine(seg.base, seg.size);
  const size_t numSlots = seg.config->numProcesses;
  char* const table = seg.base + seg.config->processTableOffset;
  TempDir out;

  const unsigned seed = (unsigned)time(nullptr) ^ (unsigned)getpid();
  SCOPED_TRACE("seed " + std::to_string(seed));
  Mutator mutate(seg.base, numSlots, seed);
  int endedByThemselves = 0;

  for (int round = 0; round < kRounds; round++) {
    SCOPED_TRACE("round " + std::to_string(round));
    memcpy(seg.base, pristine.data(), pristine.size());
    const RoundKind kind = (RoundKind)(round % 3);
    // Most rounds keep the monitor and keeper slots alive, so that sampling goes on
    // under the writes; the others let the liveness test see whatever is written.
    const bool keepAlive = round % 4 != 3;
    const std::string archive = out.file("fz" + std::to_string(round));
    RunOptions opts;
    opts.env = {"QUILLON_GLOBAL_DIR=" + gdir.path(), "QL_CORE_TIME_OUT=1"};
    std::vector<std::string> argv = {TALLYSCOPE_BIN, kCacheName, "-I", "10", "-u", "0", "-q", "-n", "8",
                                     "-f",           archive};
    // Without host statistics every selected entry gets a record, whatever its pid.
    if (round % 2) argv.push_back("-Y");
    BackgroundProgram tally(argv, opts);
    ASSERT_TRUE(waitUntil([&] { return !tally.running() || samplesIn(archive + ".out") >= 1; }))
        << tally.currentOut();
    ASSERT_TRUE(tally.running()) << "ended before the writes began";

    for (int i = 0; i < kWritesPerRound && tally.running(); i++) {
      if (kind == CONFIG_ONLY || (kind == BOTH && mutate.next() % 2)) mutate.writeConfig();
      if (kind != CONFIG_ONLY) mutate.writeEntry(table);
      if (keepAlive) {
        for (size_t slot = 0; slot < 2; slot++)
          *(volatile int32_t*)(table + slot * sizeof(ShrPcProcessTableEntrySType) + kPidOffset) = getpid();
      }
      if (i % 4 == 0) sleepMs(2);
    }
    if (tally.running()) tally.sendSignal(SIGINT);
    else endedByThemselves++;
    RunResult r = tally.wait(60);

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err.find("AddressSanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
    // Every line whole and single-spaced (an empty name must not leave a gap);
    // processes come and go with the writes.
    readCompleteArchive(archive + ".out", false);
    if (HasFailure()) break;
  }
  // Not every round may end early: most keep the monitor's slots alive.
  EXPECT_LT(endedByThemselves, kRounds);
}
