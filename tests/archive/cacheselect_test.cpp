// Which process-table entries get a record: the table is built in ordinary memory
// with the cache's own layout types.
#include "archive/cacheselect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

class Table {
 public:
  explicit Table(size_t slots) : _entries(new ShrPcProcessTableEntrySType[slots]()), _size(slots) {
    for (size_t i = 0; i < slots; i++) {
      _entries[i].stats.processId = -1;
      _entries[i].stats.sessionId = -1;
    }
  }
  void set(uint32_t slot, uint32_t kind, const char* name, int pid, int session, bool inUse = true) {
    ShrPcProcessTableEntrySType& e = _entries[slot];
    e.inUse = inUse ? TRUE : FALSE;
    e.statType = kind;
    snprintf(e.processName, sizeof e.processName, "%s", name);
    e.stats.processId = pid;
    e.stats.sessionId = session;
  }
  // Slots visited, in visiting order.
  std::vector<uint32_t> select(const CacheSelectionSType& sel) const {
    std::vector<uint32_t> out;
    struct Ctx {
      const ShrPcProcessTableEntrySType* base;
      std::vector<uint32_t>* out;
    } ctx{_entries.get(), &out};
    int n = ShrPcSelectProcesses(_entries.get(), (uint32_t)_size, sel,
                                 [](const ShrPcProcessTableEntrySType* e, void* c) {
                                   Ctx* x = static_cast<Ctx*>(c);
                                   x->out->push_back((uint32_t)(e - x->base));
                                 },
                                 &ctx);
    EXPECT_EQ(n, (int)out.size());
    return out;
  }

 private:
  std::unique_ptr<ShrPcProcessTableEntrySType[]> _entries;
  size_t _size;
};

// A cache like the simulator's: monitor, keeper, two keeper threads, page servers
// (Aio and other), odd entries, envoys in sessions 2, 3, 3, 5.
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

CacheSelectionSType normal(const std::vector<int>& sessions = {}) {
  return {FALSE, FALSE, FALSE, sessions.data(), (int)sessions.size()};
}
CacheSelectionSType keeperOnly(BoolType pgs, BoolType pageMgr) { return {TRUE, pgs, pageMgr, nullptr, 0}; }

}  // namespace

TEST(CacheSelection, NormalModeTakesEveryEntryInUseThatCarriesAProcess) {
  Table t = typicalCache();
  EXPECT_EQ(t.select(normal()), (std::vector<uint32_t>{0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14}));

}

TEST(CacheSelection, SessionListKeepsOnlyItsEnvoysAndEveryOtherKind) {
  Table t = typicalCache();
  std::vector<int> three{3};
  EXPECT_EQ(t.select(normal(three)), (std::vector<uint32_t>{0, 1, 3, 4, 5, 6, 7, 8, 10, 14}));
  std::vector<int> several{2, 5, 9};
  EXPECT_EQ(t.select(normal(several)), (std::vector<uint32_t>{0, 1, 3, 4, 5, 6, 7, 8, 9, 13, 14}));
  std::vector<int> none{42};
  EXPECT_EQ(t.select(normal(none)), (std::vector<uint32_t>{0, 1, 3, 4, 5, 6, 7, 8, 14}));
}

TEST(CacheSelection, KeeperOnlyModesAddAioPageServersAndTheFirstPageManager) {
  Table t = typicalCache();
  EXPECT_EQ(t.select(keeperOnly(FALSE, FALSE)), (std::vector<uint32_t>{0, 1}));
  // -P: Aio page servers in use with a process, ascending (the pid-0 one included).
  EXPECT_EQ(t.select(keeperOnly(TRUE, FALSE)), (std::vector<uint32_t>{0, 1, 3, 5, 14}));
  // -J: only the first page manager thread in use, never the later ones.
  EXPECT_EQ(t.select(keeperOnly(FALSE, TRUE)), (std::vector<uint32_t>{0, 1, 4}));
  EXPECT_EQ(t.select(keeperOnly(TRUE, TRUE)), (std::vector<uint32_t>{0, 1, 3, 5, 14, 4}));
}

TEST(CacheSelection, KeeperOnlyWithoutAKeeperInSlotOneKeepsOnlyTheMonitor) {
  Table t = typicalCache();
  t.set(1, 8, "envoyInSlot1", 101, 2);
  EXPECT_EQ(t.select(keeperOnly(FALSE, FALSE)), (std::vector<uint32_t>{0}));
  EXPECT_EQ(t.select(keeperOnly(TRUE, TRUE)), (std::vector<uint32_t>{0}));
}

TEST(CacheSelection, KeeperOnlySkipsMonitorAndKeeperWithoutAProcess) {
  Table t = typicalCache();
  t.set(0, 1, "cachewarden", -1, -1);
  t.set(1, 2, "keeper", 101, -1, false);
  EXPECT_EQ(t.select(keeperOnly(TRUE, TRUE)), (std::vector<uint32_t>{3, 5, 14, 4}));
  Table tiny(1);
  tiny.set(0, 1, "cachewarden", 100, -1);
  EXPECT_EQ(tiny.select(keeperOnly(TRUE, TRUE)), (std::vector<uint32_t>{0}));
}

TEST(CacheRecordShape, CountsMatchTheTypeDescriptionsAndStartAtTheFirst64BitStatistic) {
  std::unique_ptr<ShrPcStatsSType> stats(new ShrPcStatsSType());
  const char* block = reinterpret_cast<const char*>(stats.get());
  struct Case {
    uint32_t kind;
    int names;  // names of the type in the header: 3 fixed + values
    int count32, count64;
    long first64Offset;  // from the statistics block; -1 = none
  } cases[] = {{1, 159, 137, 19, 552}, {2, 307, 239, 65, 960}, {4, 74, 71, 0, -1}, {8, 228, 169, 56, 680}};
  for (const Case& c : cases) {
    int n32 = -1, n64 = -1;
    const int64_t* first64 = nullptr;
    ASSERT_TRUE(ShrPcRecordShape(stats.get(), c.kind, &n32, &first64, &n64)) << c.kind;
    EXPECT_EQ(n32, c.count32) << c.kind;
    EXPECT_EQ(n64, c.count64) << c.kind;
    EXPECT_EQ(3 + n32 + n64, c.names) << c.kind;
    EXPECT_EQ(first64 ? reinterpret_cast<const char*>(first64) - block : -1, c.first64Offset) << c.kind;
    // One alignment word lies between the end of the 32-bit run and the 64-bit run.
    if (first64) {
      EXPECT_EQ(4L * n32 + 4, c.first64Offset) << c.kind;
    }
  }
  for (uint32_t kind : {0u, 16u, 32u, 64u, 3u}) {
    int n32 = -1, n64 = -1;
    const int64_t* first64 = nullptr;
    EXPECT_FALSE(ShrPcRecordShape(stats.get(), kind, &n32, &first64, &n64)) << kind;
  }
}
