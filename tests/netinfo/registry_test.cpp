// The lock-file registry: where it lives, reading one lock file (also a hostile
// one), walking the directory, the host id and keeper resolution.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "netinfo/netinfo.h"
#include "support/cachefixture.h"

namespace {

std::string globalDir() {
  char dir[1024];
  NetInfoComputeGlobalDir(dir, sizeof dir);
  return dir;
}

TEST(GlobalDirTest, EnvironmentNamesAnExistingDirectoryElseTheStandardPlacesServe) {
  TempGlobalDir gdir;
  EXPECT_EQ(globalDir(), gdir.path());
  setenv("QUILLON_GLOBAL_DIR", gdir.path().substr(0, gdir.path().size() - 1).c_str(), 1);
  EXPECT_EQ(globalDir(), gdir.path());  // gets its slash

  const std::string fallback = access("/opt/quillon", F_OK) != 0 && access("/usr/quillon", F_OK) == 0
                                   ? "/usr/quillon/"
                                   : "/opt/quillon/";
  setenv("QUILLON_GLOBAL_DIR", (gdir.path() + "does-not-exist").c_str(), 1);
  EXPECT_EQ(globalDir(), fallback);
  std::string longName = gdir.path();  // exists, but named with over 1021 characters
  while (longName.size() < 1030) longName += "./";
  setenv("QUILLON_GLOBAL_DIR", longName.c_str(), 1);
  EXPECT_EQ(globalDir(), fallback);

}

// --- reading one lock file --------------------------------------------------------

TEST(NetInfoFindTest, KeyOnlyForCachesAndStaleOnlyWhenTheProcessIsGone) {
  TempGlobalDir gdir;
  gdir.writeLockFile("kpr", liveLock(NI_KEEPER, 777));  // a key is meaningless for a keeper
  LockFileSpec gone = liveLock(NI_CACHE, 99);
  gone.processId = deadPid();
  gdir.writeLockFile("gone~1", gone);
  NetInfoSType ni;
  EXPECT_EQ(NetInfoFind("kpr", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_EQ(ni.ftok_key, 0);
  EXPECT_EQ(NetInfoFind("gone~1", nullptr, &ni, nullptr, nullptr), NIRES_STALE);
  EXPECT_EQ(ni.ftok_key, 99);
  if (geteuid() != 0) {  // init, which this user may not signal, counts as alive
    gone.processId = 1;
    gdir.writeLockFile("init~1", gone);
    EXPECT_EQ(NetInfoFind("init~1", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  }
}

TEST(NetInfoFindTest, ReadsTheRecordAndItsStringsAndReportsOrCutsBadFiles) {
  TempGlobalDir gdir;
  NetInfoSType ni;
  SysErrorSType err;
  EXPECT_EQ(NetInfoFind("nobody", nullptr, &ni, &err, nullptr), NIRES_DOESNOTEXIST);
  EXPECT_EQ(std::string(err.errMsg), "file not found: " + gdir.lockDir() + "nobody..LCK");
  gdir.writeLockFile("short", lockFileBytes(liveLock(NI_CACHE)).substr(0, 10));
  err.initialize();
  EXPECT_EQ(NetInfoFind("short", nullptr, &ni, &err, nullptr), NIRES_ERROR);
  EXPECT_EQ(std::string(err.errMsg), "read unexpected number (10) of bytes on file " + gdir.lockDir() + "short..LCK");
  gdir.writeLockFile("empty", std::string());
  EXPECT_EQ(NetInfoFind("empty", nullptr, &ni, nullptr, nullptr), NIRES_ERROR);

  LockFileSpec lock = liveLock(NI_CACHE, 0x1234abcd);
  lock.port = htonl(4242);
  lock.strings = {"/var/log/cw.log", "/opt/product", "cachewarden -x", "", "second.conf"};
  gdir.writeLockFile("kpr~ff", lock);
  ASSERT_EQ(NetInfoFind("kpr~ff", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_STREQ(ni.name, "kpr~ff");
  EXPECT_EQ(ni.kind, NI_CACHE);
  EXPECT_EQ(ni.processId, getpid());
  EXPECT_EQ((uint32_t)ni.ftok_key, 0x1234abcdu);
  EXPECT_EQ(ni._port, htonl(4242));
  EXPECT_STREQ(ni.creator, "tester");
  EXPECT_STREQ(ni.version, "3.2.8.1");
  EXPECT_STREQ(ni.creationTimeStr, "unknown date");  // a creation time of 0
  auto strings = [&ni] {
    return std::string(ni.logName) + "|" + ni.productDir + "|" + ni.cmdLine + "|" + ni.configFile1 + "|" + ni.configFile2;
  };
  EXPECT_EQ(strings(), "/var/log/cw.log|/opt/product|cachewarden -x||second.conf");

  lock.creator = std::string(16, 'C');  // no terminator inside the field
  lock.version = std::string(16, 'V');
  lock.strings = {std::string(3000, 'L'), "/product", std::string(1023, 'M'), std::string(1024, 'N')};
  gdir.writeLockFile("big", lock);
  ASSERT_EQ(NetInfoFind("big", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_EQ(std::string(ni.creator), std::string(16, 'C'));
  EXPECT_EQ(std::string(ni.version), std::string(16, 'V'));
  // Each string cut to 1023 characters, and the next one still found.
  EXPECT_EQ(strings(), std::string(1023, 'L') + "|/product|" + std::string(1023, 'M') + "|" + std::string(1023, 'N') + "|");

  // A trailer of 9000 bytes without any terminator: only 8191 bytes are read.
  gdir.writeLockFile("noterm", lockFileBytes(liveLock(NI_CACHE)) + std::string(9000, 'x'));
  ASSERT_EQ(NetInfoFind("noterm", nullptr, &ni, nullptr, nullptr), NIRES_OK);
  EXPECT_EQ(strings(), std::string(1023, 'x') + "||||");

  // Garbage pids never probe process groups: treated as stale.
  for (int32_t pid : {0, -1}) {
    lock.processId = pid;
    gdir.writeLockFile("garbage", lock);
    EXPECT_EQ(NetInfoFind("garbage", nullptr, &ni, nullptr, nullptr), NIRES_STALE) << pid;
  }
}

// --- walking the registry ------------------------------------------------

std::vector<std::string> seenNames;
int collect(int count, const char* name, NetInfoResultEnum, NetInfoSType* ni, void* stopAfter) {
  EXPECT_STREQ(ni->name, name);
  seenNames.push_back(name);
  return count < *(int*)stopAfter;
}

TEST(NetInfoForeachTest, VisitsLiveAndStaleRegistrationsOnly) {
  TempGlobalDir gdir;
  gdir.writeLockFile("alive", liveLock(NI_KEEPER));
  LockFileSpec stale = liveLock(NI_KEEPER);
  stale.processId = deadPid();
  gdir.writeLockFile("stale", stale);
  gdir.writeLockFile("broken", std::string("xx"));
  gdir.writeLockFile("", liveLock(NI_KEEPER));                // exactly "..LCK": ignored
  writeFileText(gdir.lockDir() + "notalock", "x");            // no suffix
  writeFileText(gdir.lockDir() + "alive..LCK.old", "x");      // suffix not at the end
  gdir.writeHostId("12345678");

  NetInfoSType ni;
  SysErrorSType err;
  int all = 1000, one = 1;
  seenNames.clear();
  EXPECT_EQ(NetInfoForeach(nullptr, collect, &ni, &all, &err, nullptr), 2);
  std::sort(seenNames.begin(), seenNames.end());
  EXPECT_EQ(seenNames, (std::vector<std::string>{"alive", "stale"}));
  EXPECT_EQ(NetInfoForeach(nullptr, collect, &ni, &one, &err, nullptr), 1);

  TempDir noLocks;  // exists, but has no locks/ directory: an empty registry
  setenv("QUILLON_GLOBAL_DIR", noLocks.path().c_str(), 1);
  NetInfoResetCachesForTest();
  EXPECT_EQ(NetInfoForeach(nullptr, collect, &ni, &all, &err, nullptr), 0);
}

// --- entries that are not regular files -----------------------------------------

// Runs fn in a child and returns what it printed, or "hung" when it has not ended
// within 10 s (it is then killed): a lookup that blocks must not hang the tests.
std::string inBoundedChild(const std::function<std::string()>& fn) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    std::string text = fn();
    if (write(fds[1], text.data(), text.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  int status = 0;
  bool ended = false;
  waitUntil([&] { return ended = ended || waitpid(child, &status, WNOHANG) == child; }, 10000);
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  std::string text;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, (size_t)n);
  close(fds[0]);
  return ended ? text : "hung";
}

std::string describe(NetInfoResultEnum res, const SysErrorSType& err) {
  return std::to_string((int)res) + " " + err.errMsg;
}

TEST(NotRegularFilesTest, FifosAndLinksToThemAreUnusableEntriesAndNeverBlock) {
  TempGlobalDir gdir;
  TempDir elsewhere;
  const std::string fifo = elsewhere.file("fifo");
  ASSERT_EQ(mkfifo((gdir.lockDir() + "x..LCK").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(symlink(fifo.c_str(), (gdir.lockDir() + "y~ff..LCK").c_str()), 0);
  ASSERT_EQ(mkfifo((gdir.lockDir() + "quillon.hostid").c_str(), 0444), 0);
  ASSERT_EQ(mkdir((gdir.lockDir() + "d..LCK").c_str(), 0755), 0);
  gdir.writeLockFile("alive", liveLock(NI_KEEPER));

  EXPECT_EQ(inBoundedChild([] {
              NetInfoSType ni;
              SysErrorSType err;
              return describe(NetInfoFind("x", nullptr, &ni, &err, nullptr), err);
            }),
            "0 not a regular file: " + gdir.lockDir() + "x..LCK");
  EXPECT_EQ(inBoundedChild([] {
              SysErrorSType err;
              int key = 0;
              return describe(NetInfoFindFtokKeyForCache("y~ff", &key, &err), err) + " " + std::to_string(key);
            }),
            "0 not a regular file: " + gdir.lockDir() + "y~ff..LCK 0");
  // The walk skips them (and the directory) like any unreadable entry.
  EXPECT_EQ(inBoundedChild([] {
              NetInfoSType ni;
              SysErrorSType err;
              int all = 1000;
              seenNames.clear();
              int n = NetInfoForeach(nullptr, collect, &ni, &all, &err, nullptr);
              return std::to_string(n) + " " + (seenNames.empty() ? "" : seenNames[0]);
            }),
            "1 alive");
  EXPECT_EQ(inBoundedChild([] {
              SysErrorSType err;
              uint64_t id = 0;
              return std::to_string(NetInfoGetUniqueHostId(&id, &err, FALSE)) + " " + err.errMsg;
            }),
            "0 Unable to open " + gdir.lockDir() + "quillon.hostid (not a regular file)");
  // A keeper registered by a FIFO is not found, and nothing waits on the host id.
  EXPECT_EQ(inBoundedChild([] {
              ShrPcLocationArgType loc;
              SysErrorSType err;
              return std::to_string(NetInfoCacheNameForKeeper("x", &loc, &err)) + " " + err.errMsg;
            }),
            "0 No keeper or cache for keeper named x was found on this machine.");
}

// --- host id and keeper resolution ------------------------------------------------------

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

TEST(LocationStrTest, KeepsTheNameAfterTheLastBangAndWritesLowercaseHex) {
  ShrPcLocationArgType loc;
  ASSERT_TRUE(ShrPcCacheLocationStr("kpr", 255, &loc));
  EXPECT_STREQ(loc.locationStr, "kpr~ff");
  ASSERT_TRUE(ShrPcCacheLocationStr("host!net!kpr", 0xABCDEF0123ULL, &loc));
  EXPECT_STREQ(loc.locationStr, "kpr~abcdef0123");
  ASSERT_TRUE(ShrPcCacheLocationStr(std::string(1021 - 3, 'k').c_str(), 0xff, &loc));  // 1021 characters fit
  EXPECT_EQ(strlen(loc.locationStr), 1021u);
  setenv("QL_CORE_TIME_OUT", "1", 1);
  EXPECT_DEATH(ShrPcCacheLocationStr(std::string(1022 - 3, 'k').c_str(), 0xff, &loc),
               "location string name is too large");
}

const std::string ff("\xff\0\0\0\0\0\0\0", 8);

TEST_F(RetryCountingTest, LiveKeeperHereIsNamedWithThisHostsIdEvenWhenBangPrefixed) {
  ShrPcLocationArgType loc;
  gdir.writeLockFile("kpr", liveLock(NI_KEEPER));
  EXPECT_FALSE(NetInfoCacheNameForKeeper("kpr", &loc, &err));  // no host id yet
  EXPECT_EQ(std::string(err.errMsg), "Unable to open " + gdir.lockDir() + "quillon.hostid ");
  gdir.writeHostId(ff);
  ASSERT_TRUE(NetInfoCacheNameForKeeper("kpr", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr~ff");
  gdir.writeLockFile("far!kpr2", liveLock(NI_KEEPER));
  ASSERT_TRUE(NetInfoCacheNameForKeeper("far!kpr2", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr2~ff");
}

TEST_F(RetryCountingTest, StaleOrRemoteKeeperResolvesThroughALiveCacheOfThisVersion) {
  ShrPcLocationArgType loc;
  gdir.writeHostId(ff);
  LockFileSpec otherVersion = liveLock(NI_CACHE, 1);
  otherVersion.version = "3.2.7.0";
  gdir.writeLockFile("kpr~aaa", otherVersion);
  EXPECT_FALSE(NetInfoCacheNameForKeeper("kpr", &loc, &err));
  EXPECT_STREQ(err.errMsg, "No keeper or cache for keeper named kpr was found on this machine.");

  LockFileSpec stale = liveLock(NI_KEEPER);
  stale.processId = deadPid();
  gdir.writeLockFile("kpr", stale);
  LockFileSpec staleCache = liveLock(NI_CACHE, 2);
  staleCache.processId = deadPid();
  gdir.writeLockFile("kpr~bbb", staleCache);
  gdir.writeLockFile("kpr~zzz", liveLock(NI_CACHE, 3));   // not hexadecimal
  gdir.writeLockFile("kprx~ddd", liveLock(NI_CACHE, 4));  // another keeper
  gdir.writeLockFile("kpr~1a2b", liveLock(NI_CACHE, 5));
  ASSERT_TRUE(NetInfoCacheNameForKeeper("kpr", &loc, &err)) << err.errMsg;
  EXPECT_STREQ(loc.locationStr, "kpr~1a2b");
}

}  // namespace
