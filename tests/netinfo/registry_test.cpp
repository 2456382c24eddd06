// The lock-file registry: where it lives, reading one lock file (also a hostile
// one), walking the directory, the host id and keeper resolution.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "netinfo/netinfo.h"
#include "support/cachefixture.h"

namespace {

// The environment names the directory (given its slash) when it exists and
// its name fits; else the standard places serve.
TEST(GlobalDirTest, EnvironmentNamesAnExistingDirectoryElseTheStandardPlacesServe) {
  TempGlobalDir gdir;
  std::string longName = gdir.path();  // exists, but named with over 1021 characters
  while (longName.size() < 1030) longName += "./";
  const std::string fallback =
      access("/opt/quillon", F_OK) != 0 && access("/usr/quillon", F_OK) == 0 ? "/usr/quillon/" : "/opt/quillon/";
  for (const auto& c : {std::make_pair(gdir.path().substr(0, gdir.path().size() - 1), gdir.path()),
                        std::make_pair(gdir.path() + "does-not-exist", fallback), std::make_pair(longName, fallback)}) {
    setenv("QUILLON_GLOBAL_DIR", c.first.c_str(), 1);
    char dir[1024];
    NetInfoComputeGlobalDir(dir, sizeof dir);
    EXPECT_EQ(dir, c.second) << c.first;
  }
}

NetInfoResultEnum find(const char* name, NetInfoSType* ni, SysErrorSType* err = nullptr) {
  return NetInfoFind(name, nullptr, ni, err, nullptr);
}

TEST(NetInfoFindTest, ReadsTheRecordAndItsStringsAndReportsOrCutsBadFiles) {
  TempGlobalDir gdir;
  NetInfoSType ni;
  SysErrorSType err;
  EXPECT_EQ(find("nobody", &ni, &err), NIRES_DOESNOTEXIST);
  EXPECT_EQ(std::string(err.errMsg), "file not found: " + gdir.lockDir() + "nobody..LCK");
  gdir.writeLockFile("short", lockFileBytes(liveLock(NI_CACHE)).substr(0, 10));
  err.initialize();
  EXPECT_EQ(find("short", &ni, &err), NIRES_ERROR);
  EXPECT_EQ(std::string(err.errMsg), "read unexpected number (10) of bytes on file " + gdir.lockDir() + "short..LCK");

  LockFileSpec lock = liveLock(NI_CACHE, 0x1234abcd);
  lock.port = htonl(4242);
  lock.strings = {"/var/log/cw.log", "/opt/product", "cachewarden -x", "", "second.conf"};
  gdir.writeLockFile("kpr~ff", lock);
  ASSERT_EQ(find("kpr~ff", &ni), NIRES_OK);
  EXPECT_TRUE(ni.kind == NI_CACHE && ni.processId == getpid() && (uint32_t)ni.ftok_key == 0x1234abcdu &&
              ni._port == htonl(4242));
  EXPECT_EQ(std::string(ni.name) + "|" + ni.creator + "|" + ni.version + "|" + ni.creationTimeStr,
            "kpr~ff|tester|3.2.8.1|unknown date");  // a creation time of 0
  auto strings = [&ni] {
    return std::string(ni.logName) + "|" + ni.productDir + "|" + ni.cmdLine + "|" + ni.configFile1 + "|" + ni.configFile2;
  };
  EXPECT_EQ(strings(), "/var/log/cw.log|/opt/product|cachewarden -x||second.conf");

  lock.creator = std::string(16, 'C');  // no terminator inside the field
  lock.version = std::string(16, 'V');
  lock.strings = {std::string(3000, 'L'), "/product", std::string(1023, 'M'), std::string(1024, 'N')};
  gdir.writeLockFile("big", lock);
  ASSERT_EQ(find("big", &ni), NIRES_OK);
  EXPECT_EQ(std::string(ni.creator), std::string(16, 'C'));
  EXPECT_EQ(std::string(ni.version), std::string(16, 'V'));
  // Each string cut to 1023 characters, and the next one still found.
  EXPECT_EQ(strings(), std::string(1023, 'L') + "|/product|" + std::string(1023, 'M') + "|" + std::string(1023, 'N') + "|");
  // A trailer of 9000 bytes without any terminator: only 8191 bytes are read.
  gdir.writeLockFile("noterm", lockFileBytes(liveLock(NI_CACHE)) + std::string(9000, 'x'));
  ASSERT_EQ(find("noterm", &ni), NIRES_OK);
  EXPECT_EQ(strings(), std::string(1023, 'x') + "||||");

  // Stale only when the process is gone or there is none: garbage pids never
  // probe process groups; init, which this user may not signal, counts as alive.
  lock = liveLock(NI_CACHE, 99);
  for (const auto& c : {std::make_pair(deadPid(), NIRES_STALE), std::make_pair(0, NIRES_STALE),
                        std::make_pair(-1, NIRES_STALE), std::make_pair(1, NIRES_OK)}) {
    lock.processId = c.first;
    gdir.writeLockFile("c~1", lock);
    EXPECT_EQ(find("c~1", &ni), c.second) << c.first;
    EXPECT_EQ(ni.ftok_key, 99);
  }
}

std::vector<std::string> seenNames;
int collect(int count, const char* name, NetInfoResultEnum, NetInfoSType* ni, void* stopAfter) {
  EXPECT_STREQ(ni->name, name);
  seenNames.push_back(name);
  return count < *(int*)stopAfter;
}
int walk(int stopAfter = 1000) {
  NetInfoSType ni;
  SysErrorSType err;
  seenNames.clear();
  int n = NetInfoForeach(nullptr, collect, &ni, &stopAfter, &err, nullptr);
  std::sort(seenNames.begin(), seenNames.end());
  return n;
}

TEST(NetInfoForeachTest, VisitsLiveAndStaleRegistrationsOnly) {
  TempGlobalDir gdir;
  gdir.writeLockFile("alive", liveLock(NI_KEEPER));
  LockFileSpec stale = liveLock(NI_KEEPER);
  stale.processId = deadPid();
  gdir.writeLockFile("stale", stale);
  gdir.writeLockFile("broken", std::string("xx"));
  gdir.writeLockFile("", liveLock(NI_KEEPER));            // exactly "..LCK": ignored
  writeFileText(gdir.lockDir() + "notalock", "x");        // no suffix
  writeFileText(gdir.lockDir() + "alive..LCK.old", "x");  // suffix not at the end
  gdir.writeHostId("12345678");

  EXPECT_EQ(walk(), 2);
  EXPECT_EQ(seenNames, (std::vector<std::string>{"alive", "stale"}));
  EXPECT_EQ(walk(1), 1);
}

// A lookup that blocks on a FIFO would hang the monitor: each runs in a child
// that the alarm ends if it does.
TEST(NotRegularFilesTest, FifosAreUnusableEntriesAndNeverBlock) {
  TempGlobalDir gdir;
  ASSERT_EQ(mkfifo((gdir.lockDir() + "x..LCK").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((gdir.lockDir() + "quillon.hostid").c_str(), 0444), 0);
  ASSERT_EQ(mkdir((gdir.lockDir() + "d..LCK").c_str(), 0755), 0);
  gdir.writeLockFile("alive", liveLock(NI_KEEPER));
  EXPECT_EXIT(
      {
        alarm(10);
        NetInfoSType ni;
        SysErrorSType err;
        SysErrorSType idErr;
        uint64_t id = 0;
        fprintf(stderr, "%d %s\n", find("x", &ni, &err), err.errMsg);
        const int walked = walk();  // skips them and the directory
        fprintf(stderr, "%d %s\n", walked, seenNames.at(0).c_str());
        fprintf(stderr, "%d %s\n", NetInfoGetUniqueHostId(&id, &idErr, FALSE), idErr.errMsg);
        _exit(0);
      },
      testing::ExitedWithCode(0),
      "^0 not a regular file: [^\n]*/locks/x\\.\\.LCK\n1 alive\n"
      "0 Unable to open [^\n]*/locks/quillon\\.hostid \\(not a regular file\\)\n$");
}

int sleepCalls = 0;
void countSleep(int ms) {
  EXPECT_EQ(ms, 100);
  sleepCalls++;
}

class RetryCountingTest : public ::testing::Test {
 protected:
  void SetUp() override { NetInfoSetRetrySleepForTest(countSleep); }
  void TearDown() override { NetInfoSetRetrySleepForTest(nullptr); }
  TempGlobalDir gdir;
  SysErrorSType err;
};

TEST_F(RetryCountingTest, HostIdIsRetriedWhenShortOrZeroNotWhenMissingAndThenCached) {
  const std::string idFile = gdir.lockDir() + "quillon.hostid";
  uint64_t id = 0;
  sleepCalls = 0;
  EXPECT_FALSE(NetInfoGetUniqueHostId(&id, &err, FALSE));
  EXPECT_EQ(std::string(err.errMsg), "Unable to open " + idFile + " ");
  EXPECT_EQ(sleepCalls, 0);
  for (const std::string& bytes : {std::string("abc"), std::string(8, '\0')}) {
    sleepCalls = 0;
    gdir.writeHostId(bytes);
    err.initialize();
    EXPECT_FALSE(NetInfoGetUniqueHostId(&id, &err, FALSE));
    EXPECT_EQ(sleepCalls, 4);
    EXPECT_NE(std::string(err.errMsg).find("failure after 5 retries, read("), std::string::npos) << err.errMsg;
    EXPECT_NE(std::string(err.errMsg).find(", &result, 8), reading " + idFile), std::string::npos);
  }
  const uint64_t feed = 0xfeed;
  gdir.writeHostId(std::string((const char*)&feed, 8));
  ASSERT_TRUE(NetInfoGetUniqueHostId(&id, &err, FALSE));
  EXPECT_EQ(id, 0xfeedULL);
  unlink(idFile.c_str());
  id = 0;
  ASSERT_TRUE(NetInfoGetUniqueHostId(&id, &err, FALSE));
  EXPECT_EQ(id, 0xfeedULL);
}

// A live keeper here is named with this host's id; a stale or remote one is
// resolved through a live cache of this version registered for it.
TEST_F(RetryCountingTest, KeeperNamesResolveToACacheName) {
  ShrPcLocationArgType loc;
  LockFileSpec stale = liveLock(NI_KEEPER);
  stale.processId = deadPid();
  gdir.writeLockFile("kpr", stale);
  gdir.writeLockFile("far!kpr2", liveLock(NI_KEEPER));
  EXPECT_FALSE(NetInfoCacheNameForKeeper("far!kpr2", &loc, &err));  // no host id yet
  EXPECT_EQ(std::string(err.errMsg), "Unable to open " + gdir.lockDir() + "quillon.hostid ");
  gdir.writeHostId(std::string("\xff\0\0\0\0\0\0\0", 8));
  ASSERT_TRUE(NetInfoCacheNameForKeeper("far!kpr2", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr2~ff");

  LockFileSpec otherVersion = liveLock(NI_CACHE, 1);
  otherVersion.version = "3.2.7.0";
  gdir.writeLockFile("kpr~aaa", otherVersion);
  LockFileSpec staleCache = liveLock(NI_CACHE, 2);
  staleCache.processId = deadPid();
  gdir.writeLockFile("kpr~bbb", staleCache);
  gdir.writeLockFile("kpr~zzz", liveLock(NI_CACHE, 3));   // not hexadecimal
  gdir.writeLockFile("kprx~ddd", liveLock(NI_CACHE, 4));  // another keeper
  EXPECT_FALSE(NetInfoCacheNameForKeeper("kpr", &loc, &err));
  EXPECT_STREQ(err.errMsg, "No keeper or cache for keeper named kpr was found on this machine.");
  gdir.writeLockFile("kpr~1a2b", liveLock(NI_CACHE, 5));
  ASSERT_TRUE(NetInfoCacheNameForKeeper("kpr", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr~1a2b");
}

}  // namespace
