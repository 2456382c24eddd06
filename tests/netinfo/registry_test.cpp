#include <arpa/inet.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "netinfo/netinfo.h"
#include "netinfo/netinfoprivate.h"
#include "support/cachefixture.h"
#include "support/runprocess.h"

namespace {

LockFileSpec liveCache(uint32_t key) {
  LockFileSpec spec;
  spec.kind = NI_CACHE;
  spec.processId = getpid();
  spec.ftokKey = key;
  return spec;
}

LockFileSpec liveKeeper() {
  LockFileSpec spec;
  spec.kind = NI_KEEPER;
  spec.processId = getpid();
  return spec;
}

// --- the global directory -------------------------------------------------------

TEST(GlobalDirTest, EnvironmentNamesAnExistingDirectoryAndGetsItsSlash) {
  TempGlobalDir gdir;
  std::string noSlash = gdir.path().substr(0, gdir.path().size() - 1);
  setenv("QUILLON_GLOBAL_DIR", noSlash.c_str(), 1);
  char dir[1024];
  NetInfoComputeGlobalDir(dir, sizeof dir);
  EXPECT_EQ(std::string(dir), gdir.path());

  setenv("QUILLON_GLOBAL_DIR", gdir.path().c_str(), 1);  // already ends in "/": kept as is
  NetInfoComputeGlobalDir(dir, sizeof dir);
  EXPECT_EQ(std::string(dir), gdir.path());
}

TEST(GlobalDirTest, MissingOrOverlongEnvironmentFallsBackToTheStandardPlaces) {
  TempGlobalDir gdir;
  const std::string fallback = access("/opt/quillon", F_OK) == 0   ? "/opt/quillon/"
                               : access("/usr/quillon", F_OK) == 0 ? "/usr/quillon/"
                                                                   : "/opt/quillon/";
  char dir[1024];
  setenv("QUILLON_GLOBAL_DIR", (gdir.path() + "does-not-exist").c_str(), 1);
  NetInfoComputeGlobalDir(dir, sizeof dir);
  EXPECT_EQ(std::string(dir), fallback);

  // An existing directory named with 1022 or more characters ("/./" repeated).
  std::string longName = gdir.path();
  while (longName.size() < 1030) longName += "./";
  setenv("QUILLON_GLOBAL_DIR", longName.c_str(), 1);
  NetInfoComputeGlobalDir(dir, sizeof dir);
  EXPECT_EQ(std::string(dir), fallback);
}

TEST(GlobalDirTest, FileNamesHangOffTheLockDirectory) {
  TempGlobalDir gdir;
  char name[2048];
  ASSERT_TRUE(NetInfoLockFileName("kpr~ff", name, sizeof name));
  EXPECT_EQ(std::string(name), gdir.path() + "locks/kpr~ff..LCK");
  ASSERT_TRUE(NetInfoHostIdFileName(name, sizeof name));
  EXPECT_EQ(std::string(name), gdir.path() + "locks/quillon.hostid");
  EXPECT_FALSE(NetInfoLockFileName("kpr", name, 10));
}

TEST(GlobalDirTest, ExpansionReplacesALeadingVariableAndDropsTheAutomounterPrefix) {
  char out[256];
  setenv("TALLY_TEST_ROOT", "/srv/ql", 1);
  netInfoExpandFileName("$TALLY_TEST_ROOT/locks/", out, sizeof out);
  EXPECT_STREQ(out, "/srv/ql/locks/");
  netInfoExpandFileName("${TALLY_TEST_ROOT}/locks/", out, sizeof out);
  EXPECT_STREQ(out, "/srv/ql/locks/");
  netInfoExpandFileName("/tmp_mnt/home/ql/locks/", out, sizeof out);
  EXPECT_STREQ(out, "/home/ql/locks/");
  netInfoExpandFileName("$TALLY_UNSET_VARIABLE_X/locks/", out, sizeof out);
  EXPECT_STREQ(out, "$TALLY_UNSET_VARIABLE_X/locks/");
  unsetenv("TALLY_TEST_ROOT");
}

// --- reading one lock file --------------------------------------------------------

TEST(NetInfoFindTest, ReadsTheRecordAndItsFiveStrings) {
  TempGlobalDir gdir;
  LockFileSpec spec = liveCache(0x1234abcd);
  spec.port = htonl(4242);
  spec.creationTime = 0;
  spec.strings = {"/var/log/cw.log", "/opt/product", "cachewarden -x", "", "second.conf"};
  gdir.writeLockFile("kpr~ff", spec);

  NetInfoSType ni;
  SysErrorSType err;
  ASSERT_EQ(NetInfoFind("kpr~ff", nullptr, &ni, &err, nullptr), NIRES_OK);
  EXPECT_STREQ(ni.name, "kpr~ff");
  EXPECT_EQ(ni.kind, NI_CACHE);
  EXPECT_EQ(ni.processId, getpid());
  EXPECT_EQ((uint32_t)ni.ftok_key, 0x1234abcdu);
  EXPECT_EQ(ni._port, htonl(4242));
  EXPECT_STREQ(ni.creator, "tester");
  EXPECT_STREQ(ni.version, "3.2.8.1");
  EXPECT_STREQ(ni.creationTimeStr, "unknown date");
  EXPECT_STREQ(ni.logName, "/var/log/cw.log");
  EXPECT_STREQ(ni.productDir, "/opt/product");
  EXPECT_STREQ(ni.cmdLine, "cachewarden -x");
  EXPECT_STREQ(ni.configFile1, "");
  EXPECT_STREQ(ni.configFile2, "second.conf");
  EXPECT_STREQ(ni.machineName, "");
}

TEST(NetInfoFindTest, KeyOnlyForCacheRecordsAndStaleWhenTheProcessIsGone) {
  TempGlobalDir gdir;
  LockFileSpec keeper = liveKeeper();
  keeper.ftokKey = 777;  // meaningless for a keeper record
  gdir.writeLockFile("kpr", keeper);
  LockFileSpec gone = liveCache(99);
  gone.processId = deadPid();
  gdir.writeLockFile("gone~1", gone);

  NetInfoSType ni;
  EXPECT_EQ(NetInfoFind("kpr", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_EQ(ni.ftok_key, 0);
  EXPECT_EQ(NetInfoFind("gone~1", nullptr, &ni, nullptr, nullptr), NIRES_STALE);
  EXPECT_EQ(ni.ftok_key, 99);
}

TEST(NetInfoFindTest, ProcessOfAnotherUserCountsAsAlive) {
  if (geteuid() == 0) GTEST_SKIP() << "root may signal every process";
  TempGlobalDir gdir;
  LockFileSpec spec = liveKeeper();
  spec.processId = 1;  // init: the probe fails with EPERM
  gdir.writeLockFile("kpr", spec);
  NetInfoSType ni;
  EXPECT_EQ(NetInfoFind("kpr", nullptr, &ni, nullptr, nullptr), NIRES_OK);
}

TEST(NetInfoFindTest, MissingAndShortFilesAreReportedNotTrusted) {
  TempGlobalDir gdir;
  NetInfoSType ni;
  SysErrorSType err;
  EXPECT_EQ(NetInfoFind("nobody", nullptr, &ni, &err, nullptr), NIRES_DOESNOTEXIST);
  EXPECT_EQ(err.errNum(), -1);
  EXPECT_EQ(std::string(err.errMsg), "file not found: " + gdir.lockDir() + "nobody..LCK");
  EXPECT_EQ(NetInfoFind("nobody", nullptr, &ni, nullptr, nullptr), NIRES_DOESNOTEXIST);  // no error record

  gdir.writeLockFile("short", lockFileBytes(liveCache(5)).substr(0, 10));
  err.initialize();
  EXPECT_EQ(NetInfoFind("short", nullptr, &ni, &err, nullptr), NIRES_ERROR);
  EXPECT_EQ(std::string(err.errMsg),
            "read unexpected number (10) of bytes on file " + gdir.lockDir() + "short..LCK");
  gdir.writeLockFile("empty", std::string());
  EXPECT_EQ(NetInfoFind("empty", nullptr, &ni, nullptr, nullptr), NIRES_ERROR);
}

TEST(NetInfoFindTest, HostileFieldsAreCutNeverOverrun) {
  TempGlobalDir gdir;
  LockFileSpec spec = liveCache(1);
  spec.creator = std::string(16, 'C');  // no terminator inside the field
  spec.version = std::string(16, 'V');
  spec.strings = {std::string(3000, 'L'), "/product", std::string(1023, 'M'), std::string(1024, 'N')};
  gdir.writeLockFile("big", spec);

  NetInfoSType ni;
  ASSERT_EQ(NetInfoFind("big", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_EQ(std::string(ni.creator), std::string(16, 'C'));
  EXPECT_EQ(std::string(ni.version), std::string(16, 'V'));
  EXPECT_EQ(std::string(ni.logName), std::string(1023, 'L'));  // cut, and the next string still found
  EXPECT_STREQ(ni.productDir, "/product");
  EXPECT_EQ(std::string(ni.cmdLine), std::string(1023, 'M'));
  EXPECT_EQ(std::string(ni.configFile1), std::string(1023, 'N'));
  EXPECT_STREQ(ni.configFile2, "");

  // A trailer of 9000 bytes without any terminator: only 8191 bytes are read.
  gdir.writeLockFile("noterm", lockFileBytes(liveCache(2)) + std::string(9000, 'x'));
  ASSERT_EQ(NetInfoFind("noterm", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_EQ(std::string(ni.logName), std::string(1023, 'x'));
  EXPECT_STREQ(ni.productDir, "");

  // Garbage pids never probe process groups: treated as stale.
  LockFileSpec zeroPid = liveCache(3);
  zeroPid.processId = 0;
  gdir.writeLockFile("zero", zeroPid);
  EXPECT_EQ(NetInfoFind("zero", nullptr, &ni, nullptr, nullptr), NIRES_STALE);
  zeroPid.processId = -1;
  gdir.writeLockFile("minus", zeroPid);
  EXPECT_EQ(NetInfoFind("minus", nullptr, &ni, nullptr, nullptr), NIRES_STALE);
}

TEST(NetInfoFindTest, CreationTimeUsesTheFormatChosenOnce) {
  NetInfoResetCachesForTest();
  setenv("QL_QLLIST_TIME_FORMAT", "%Y", 1);
  setenv("TZ", "UTC", 1);
  tzset();
  char text[128];
  netInfoCreationTimeStr(86400 * 366, text, sizeof text);
  EXPECT_STREQ(text, "1971");
  setenv("QL_QLLIST_TIME_FORMAT", "%H", 1);  // chosen once per process: ignored now
  netInfoCreationTimeStr(86400 * 366, text, sizeof text);
  EXPECT_STREQ(text, "1971");
  unsetenv("QL_QLLIST_TIME_FORMAT");
  NetInfoResetCachesForTest();
  netInfoCreationTimeStr(86400 * 366 + 3600 * 5 + 60 * 7, text, sizeof text);
  EXPECT_STREQ(text, "Jan 02 05:07");
}

// --- walking the registry -----------------------------------------------------------

struct Seen {
  std::vector<std::string> names;
  std::vector<NetInfoResultEnum> results;
  int stopAfter = 1000;
};

int collect(int count, const char* name, NetInfoResultEnum result, NetInfoSType* ni, void* userData) {
  Seen* seen = static_cast<Seen*>(userData);
  EXPECT_STREQ(ni->name, name);
  seen->names.push_back(name);
  seen->results.push_back(result);
  return count < seen->stopAfter;
}

TEST(NetInfoForeachTest, VisitsLiveAndStaleRegistrationsOnly) {
  TempGlobalDir gdir;
  gdir.writeLockFile("alive", liveKeeper());
  LockFileSpec stale = liveKeeper();
  stale.processId = deadPid();
  gdir.writeLockFile("stale", stale);
  gdir.writeLockFile("broken", std::string("xx"));
  gdir.writeLockFile("", liveKeeper());                    // exactly "..LCK": ignored
  writeFileText(gdir.lockDir() + "notalock", "x");         // no suffix
  writeFileText(gdir.lockDir() + "alive..LCK.old", "x");   // suffix not at the end
  gdir.writeHostId(7);

  Seen seen;
  NetInfoSType ni;
  SysErrorSType err;
  int count = NetInfoForeach(nullptr, collect, &ni, &seen, &err, nullptr);
  EXPECT_EQ(count, 2);
  std::vector<std::string> names = seen.names;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"alive", "stale"}));

  seen = Seen();
  seen.stopAfter = 1;
  EXPECT_EQ(NetInfoForeach(nullptr, collect, &ni, &seen, &err, nullptr), 1);
}

TEST(NetInfoForeachTest, MissingLockDirectoryIsAnEmptyRegistry) {
  TempGlobalDir gdir;
  TempDir noLocks;  // exists, but has no locks/ directory
  setenv("QUILLON_GLOBAL_DIR", noLocks.path().c_str(), 1);
  NetInfoResetCachesForTest();
  Seen seen;
  NetInfoSType ni;
  SysErrorSType err;
  EXPECT_EQ(NetInfoForeach(nullptr, collect, &ni, &seen, &err, nullptr), 0);
  EXPECT_TRUE(seen.names.empty());
}

// --- key of a cache -------------------------------------------------------------------

TEST(FtokKeyTest, KeyIsCachedForTheSameNameOnly) {
  TempGlobalDir gdir;
  gdir.writeLockFile("c1~a", liveCache(0x51));
  gdir.writeLockFile("kpr", liveKeeper());
  int key = 0;
  SysErrorSType err;
  ASSERT_EQ(NetInfoFindFtokKeyForCache("c1~a", &key, &err), NIRES_OK);
  EXPECT_EQ(key, 0x51);

  unlink((gdir.lockDir() + "c1~a..LCK").c_str());
  key = 0;
  EXPECT_EQ(NetInfoFindFtokKeyForCache("c1~a", &key, &err), NIRES_OK);  // answered from the cache
  EXPECT_EQ(key, 0x51);

  EXPECT_EQ(NetInfoFindFtokKeyForCache("kpr", &key, &err), NIRES_OK);  // not a cache: no key
  EXPECT_EQ(key, 0);
  EXPECT_EQ(NetInfoFindFtokKeyForCache("other~b", &key, &err), NIRES_DOESNOTEXIST);
}

// --- host id --------------------------------------------------------------------------

int sleepCalls = 0;
void countSleep(int ms) {
  EXPECT_EQ(ms, 100);
  sleepCalls++;
}

class HostIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sleepCalls = 0;
    NetInfoSetRetrySleepForTest(countSleep);
  }
  void TearDown() override { NetInfoSetRetrySleepForTest(nullptr); }
};

TEST_F(HostIdTest, ReadsAndCachesTheId) {
  TempGlobalDir gdir;
  gdir.writeHostId(0xfeedULL);
  uint64_t id = 0;
  SysErrorSType err;
  ASSERT_TRUE(NetInfoGetUniqueHostId(&id, &err, FALSE));
  EXPECT_EQ(id, 0xfeedULL);
  unlink((gdir.lockDir() + "quillon.hostid").c_str());
  id = 0;
  ASSERT_TRUE(NetInfoGetUniqueHostId(&id, &err, FALSE));
  EXPECT_EQ(id, 0xfeedULL);
  EXPECT_EQ(sleepCalls, 0);
}

TEST_F(HostIdTest, MissingFileFailsAtOnce) {
  TempGlobalDir gdir;
  uint64_t id = 0;
  SysErrorSType err;
  EXPECT_FALSE(NetInfoGetUniqueHostId(&id, &err, FALSE));
  EXPECT_EQ(std::string(err.errMsg), "Unable to open " + gdir.lockDir() + "quillon.hostid ");
  EXPECT_EQ(sleepCalls, 0);
}

TEST_F(HostIdTest, ShortOrZeroFileIsRetriedFourMoreTimesThenFails) {
  TempGlobalDir gdir;
  for (const std::string& bytes : {std::string("abc"), std::string(8, '\0')}) {
    sleepCalls = 0;
    gdir.writeHostIdBytes(bytes);
    uint64_t id = 0;
    SysErrorSType err;
    EXPECT_FALSE(NetInfoGetUniqueHostId(&id, &err, FALSE));
    EXPECT_EQ(sleepCalls, 4);
    EXPECT_NE(std::string(err.errMsg).find("failure after 5 retries, read("), std::string::npos) << err.errMsg;
    EXPECT_NE(std::string(err.errMsg).find(", &result, 8), reading " + gdir.lockDir() + "quillon.hostid"),
              std::string::npos);
  }
}

// --- location strings and keeper resolution ------------------------------------------------

TEST(LocationStrTest, KeepsTheNameAfterTheLastBangAndWritesLowercaseHex) {
  ShrPcLocationArgType loc;
  ASSERT_TRUE(ShrPcCacheLocationStr("kpr", 255, &loc));
  EXPECT_STREQ(loc.locationStr, "kpr~ff");
  ASSERT_TRUE(ShrPcCacheLocationStr("host!net!kpr", 0xABCDEF0123ULL, &loc));
  EXPECT_STREQ(loc.locationStr, "kpr~abcdef0123");
  ASSERT_TRUE(ShrPcCacheLocationStr(std::string(1021 - 3, 'k').c_str(), 0xff, &loc));  // 1021 characters fit
  EXPECT_EQ(strlen(loc.locationStr), 1021u);
}

TEST(LocationStrDeathTest, TooLongANameIsAnInternalError) {
  setenv("QL_CORE_TIME_OUT", "1", 1);
  ShrPcLocationArgType loc;
  std::string name(1022 - 3, 'k');  // 1022 characters with "~ff"
  EXPECT_DEATH(ShrPcCacheLocationStr(name.c_str(), 0xff, &loc), "location string name is too large");
}

class KeeperResolutionTest : public ::testing::Test {
 protected:
  void SetUp() override { NetInfoSetRetrySleepForTest(countSleep); }
  void TearDown() override { NetInfoSetRetrySleepForTest(nullptr); }
  TempGlobalDir gdir;
  ShrPcLocationArgType loc;
  SysErrorSType err;
};

TEST_F(KeeperResolutionTest, LiveKeeperOnThisHostUsesThisHostsId) {
  gdir.writeHostId(255);
  gdir.writeLockFile("kpr", liveKeeper());
  ASSERT_TRUE(NetInfoCacheNameForKeeper("kpr", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr~ff");
}

TEST_F(KeeperResolutionTest, BangPrefixedKeeperIsLookedUpWholeButNamedShort) {
  gdir.writeHostId(255);
  gdir.writeLockFile("far!kpr", liveKeeper());
  ASSERT_TRUE(NetInfoCacheNameForKeeper("far!kpr", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr~ff");
}

TEST_F(KeeperResolutionTest, StaleOrRemoteKeeperResolvesThroughALiveCacheOfThisVersion) {
  gdir.writeHostId(255);
  LockFileSpec stale = liveKeeper();
  stale.processId = deadPid();
  gdir.writeLockFile("kpr", stale);
  LockFileSpec otherVersion = liveCache(1);
  otherVersion.version = "3.2.7.0";
  gdir.writeLockFile("kpr~aaa", otherVersion);
  LockFileSpec staleCache = liveCache(2);
  staleCache.processId = deadPid();
  gdir.writeLockFile("kpr~bbb", staleCache);
  gdir.writeLockFile("kpr~zzz", liveCache(3));        // not hexadecimal
  gdir.writeLockFile("kprx~ddd", liveCache(4));       // another keeper
  gdir.writeLockFile("kpr~1a2b", liveCache(5));
  ASSERT_TRUE(NetInfoCacheNameForKeeper("kpr", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr~1a2b");
}

TEST_F(KeeperResolutionTest, NothingFoundIsReported) {
  LockFileSpec otherVersion = liveCache(1);
  otherVersion.version = "3.2.7.0";
  gdir.writeLockFile("kpr~aaa", otherVersion);
  EXPECT_FALSE(NetInfoCacheNameForKeeper("kpr", &loc, &err));
  EXPECT_EQ(err.errNum(), -1);
  EXPECT_STREQ(err.errMsg, "No keeper or cache for keeper named kpr was found on this machine.");
}

TEST_F(KeeperResolutionTest, LiveKeeperWithoutHostIdFails) {
  gdir.writeLockFile("kpr", liveKeeper());
  EXPECT_FALSE(NetInfoCacheNameForKeeper("kpr", &loc, &err));
  EXPECT_EQ(std::string(err.errMsg), "Unable to open " + gdir.lockDir() + "quillon.hostid ");
}

}  // namespace
