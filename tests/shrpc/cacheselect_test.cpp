// Which process-table entries get a record: the table is built in ordinary memory
// with the cache's own layout types.
#include "shrpc/cacheselect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "archive/stattype.h"

namespace {

using Slots = std::vector<uint32_t>;

class Table {
 public:
  explicit Table(size_t slots) : _e(slots) {
    for (auto& e : _e) e.stats.processId = e.stats.sessionId = -1;
  }
  void set(uint32_t slot, uint32_t kind, const char* name, int pid, int session, bool inUse = true) {
    ShrPcProcessTableEntrySType& e = _e[slot];
    e.inUse = inUse ? TRUE : FALSE;
    e.statType = kind;
    snprintf(e.processName, sizeof e.processName, "%s", name);
    e.stats.processId = pid;
    e.stats.sessionId = session;
  }
  // Slots visited, in visiting order.
  Slots select(const CacheSelectionSType& sel) const {
    using Ctx = std::pair<const ShrPcProcessTableEntrySType*, Slots>;
    Ctx ctx{_e.data(), {}};
    auto visit = [](const ShrPcProcessTableEntrySType* e, void* c) {
      static_cast<Ctx*>(c)->second.push_back((uint32_t)(e - static_cast<Ctx*>(c)->first));
    };
    const int n = ShrPcSelectProcesses(_e.data(), (uint32_t)_e.size(), sel, visit, &ctx);
    EXPECT_EQ(n, (int)ctx.second.size());
    return ctx.second;
  }

 private:
  std::vector<ShrPcProcessTableEntrySType> _e;
};

// A cache like the simulator's: monitor, keeper, two keeper threads, page servers
// (Aio and other), odd entries, envoys.
Table typicalCache() {
  Table t(16);
  t.set(0, 1, "cachewarden", 100, -1);
  t.set(1, 2, "keeper", 101, -1);
  t.set(2, 2, "pagemgrThread", 102, -1, false);  // not in use: -J must pass over it
  t.set(3, 4, "AioPgsvr0", 103, -1);
  t.set(4, 2, "pagemgrThread", 104, -1);
  t.set(5, 4, "Aio pgsvr 1", 105, -1);
  t.set(6, 4, "RemotePgsvr", 106, -1);
  t.set(7, 4, "AioGone", -1, 7);  // pid -1 with a session: no process for -P
  t.set(8, 2, "pagemgrThread2", 108, -1);
  t.set(9, 8, "envoy0", 109, 2);
  t.set(10, 8, "envoy1", 110, 3);
  t.set(11, 8, "envoyGone", -1, -1);
  t.set(12, 8, "envoy2", 112, 3, false);
  t.set(13, 8, "envoy3", 113, 5);
  t.set(14, 4, "AioIdle", 0, -1);  // pid 0: visited, dropped by the record writer
  return t;                      // slot 15 never used
}

CacheSelectionSType keeperOnly(BoolType pgs, BoolType pageMgr) { return {TRUE, pgs, pageMgr, nullptr, 0}; }

}  // namespace

// (The selections of each option, session lists among them, are shown end to
// end against the simulator.)
TEST(CacheSelection, KeeperOnlyModesPassOverWhatHasNoProcess) {
  Table t = typicalCache();
  // -P takes the pid-0 Aio page server; -J only the first page manager thread in use.
  EXPECT_EQ(t.select(keeperOnly(TRUE, TRUE)), (Slots{0, 1, 3, 5, 14, 4}));

  t.set(0, 1, "cachewarden", -1, -1);  // monitor and keeper without a process are skipped
  t.set(1, 2, "keeper", 101, -1, false);
  EXPECT_EQ(t.select(keeperOnly(TRUE, TRUE)), (Slots{3, 5, 14, 4}));
  Table noKeeper = typicalCache();
  noKeeper.set(1, 8, "envoyInSlot1", 101, 2);  // no keeper in slot 1: only the monitor
  EXPECT_EQ(noKeeper.select(keeperOnly(TRUE, TRUE)), (Slots{0}));
  Table tiny(1);
  tiny.set(0, 1, "cachewarden", 100, -1);
  EXPECT_EQ(tiny.select(keeperOnly(TRUE, TRUE)), (Slots{0}));
}

// The values of a record are as many as its type names in the header, and the
// 64-bit run starts where the catalogue places the first 64-bit statistic.
TEST(CacheRecordShape, AgreesWithTheCatalogue) {
  std::unique_ptr<ShrPcStatsSType> stats(new ShrPcStatsSType());
  const char* block = reinterpret_cast<const char*>(stats.get());
  for (int row = 0; row < StatTypeCount; row++) {
    const StatTypeSType& t = StatTypeTable[row];
    int n32 = -1, n64 = -1;
    const int64_t* first64 = nullptr;
    ASSERT_EQ(ShrPcRecordShape(stats.get(), (uint32_t)t.id, &n32, &first64, &n64), t.id <= 8) << t.name;
    if (t.id > 8) continue;
    EXPECT_EQ(3 + n32 + n64, t.ctrCount) << t.name;
    const StatTypeKind kind =
        t.id == 1 ? STATTYPE_KIND_MONITOR : t.id == 2 ? STATTYPE_KIND_KEEPER : STATTYPE_KIND_ENVOY;
    if (n64 > 0) {
      EXPECT_EQ(reinterpret_cast<const char*>(first64) - block, StatTypeByteOffsetForIndex(kind, n32 - 2)) << t.name;
    }
  }
  int n32, n64;
  const int64_t* first64;
  EXPECT_FALSE(ShrPcRecordShape(stats.get(), 3, &n32, &first64, &n64));
}
