#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "archive/hoststatwriter.h"
#include "monitor/tallymgr.h"

namespace {

// Builds a T in memory that held garbage, as a reused heap block or stack slot may.
template <typename T>
struct OnDirtyMemory {
  OnDirtyMemory() {
    memset(static_cast<void*>(storage), 0xa5, sizeof storage);
    object = new (storage) T;  // default-initialised: nothing is zeroed but what the class says
  }
  ~OnDirtyMemory() { object->~T(); }
  alignas(T) unsigned char storage[sizeof(T)];
  T* object;
};

TEST(ConstructionTest, ManagerAndWriterStartFromTheirInitialValuesWhateverTheMemoryHeld) {
  auto mgrBox = std::make_unique<OnDirtyMemory<TallyMgr>>();
  const TallyMgr& m = *mgrBox->object;
  EXPECT_EQ(m.quietMode, FALSE);
  EXPECT_EQ(m.hostStatsOnly, FALSE);
  EXPECT_EQ(m.keeperOnly, FALSE);
  EXPECT_EQ(m.TallyStartupDone, FALSE);
  EXPECT_EQ(m.useStdout, FALSE);
  EXPECT_EQ(m.numAppStats, 0);
  EXPECT_EQ(m.sampleIntervalMs, 0);
  EXPECT_EQ(m.restartCount, 0);
  EXPECT_EQ(m.timeWritingStats, 0u);
  EXPECT_EQ(m.shrpcPtr, nullptr);
  EXPECT_EQ(m.statWriter, nullptr);
  EXPECT_EQ(m.outFile, nullptr);
  EXPECT_EQ(m.appStats, nullptr);
  EXPECT_EQ(m.sessionsToSample.numEntries, 0);
  EXPECT_EQ(m.pidsWrittenThisTime.list, nullptr);
  EXPECT_EQ(m.shrMemState.threadsAttached, 0);
  EXPECT_EQ(m.errBuf[0], '\0');
  EXPECT_EQ(m.sampleFileName[0], '\0');
  EXPECT_EQ(m.tallyStats[3], 0u);

  auto writerBox = std::make_unique<OnDirtyMemory<HostStatWriter>>();
  const HostStatWriter& w = *writerBox->object;
  EXPECT_EQ(w.rawBuffer, nullptr);
  EXPECT_EQ(w.bufPtr, nullptr);
  EXPECT_EQ(w.bufferSize, 0u);
  EXPECT_EQ(w.quiet, FALSE);
  EXPECT_EQ(w.disableSystemStats, FALSE);
  EXPECT_EQ(w.monitorCpus, FALSE);
  EXPECT_EQ(w.currentTypeCount, 0u);
  EXPECT_EQ(w.systemPagesTypeCount, 0u);
  EXPECT_EQ(w.hostStats, nullptr);
  EXPECT_EQ(w.procTracker, nullptr);
}

class ResolveCacheNameTest : public ::testing::Test {
 protected:
  void SetUp() override { mgr->init(); }

  // Runs resolveCacheName on `name`; returns its result and captures stdout.
  bool resolve(const std::string& name) {
    strncpy(mgr->cacheName, name.c_str(), sizeof(mgr->cacheName) - 1);
    testing::internal::CaptureStdout();
    bool ok = mgr->resolveCacheName() != FALSE;
    out = testing::internal::GetCapturedStdout();
    return ok;
  }

  std::unique_ptr<TallyMgr> mgr{new TallyMgr};
  std::string out;
};

TEST_F(ResolveCacheNameTest, ACacheNameIsUsedUnchangedAndNamesItsKeeperEmptyNamesAreRefused) {
  ASSERT_TRUE(resolve("keeper7~1f2e"));
  EXPECT_STREQ(mgr->cacheName, "keeper7~1f2e");
  EXPECT_STREQ(mgr->keeperName, "keeper7");
  EXPECT_EQ(out, "");
  ASSERT_TRUE(resolve("a~b~c"));  // the keeper part ends at the first "~"
  EXPECT_STREQ(mgr->keeperName, "a");
  const std::string longKeeper(200, 'k');
  ASSERT_TRUE(resolve(longKeeper + "~ff"));
  EXPECT_EQ(std::string(mgr->keeperName), longKeeper.substr(0, 127));

  EXPECT_FALSE(resolve(""));
  EXPECT_EQ(out, "[ERROR]: A keeper name or cache name must be specified\n");
  EXPECT_FALSE(resolve("~abc"));
  EXPECT_EQ(out, "[ERROR]: The cache name '~abc' has no keeper name before the '~'\n");
}

}  // namespace
