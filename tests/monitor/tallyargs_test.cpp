#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"

namespace {

struct ExitCalled {
  int status;
};
void throwOnExit(int status) { throw ExitCalled{status}; }

std::vector<int> entries(const SortedList& l) { return std::vector<int>(l.list, l.list + l.numEntries); }

// A child process that lives until the test ends.
class Child {
 public:
  Child() {
    _pid = fork();
    if (_pid == 0) {
      pause();
      _exit(0);
    }
  }
  ~Child() {
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
  }
  int pid() const { return _pid; }

 private:
  pid_t _pid;
};

class TallyArgsTest : public ::testing::Test {
 protected:
  struct Outcome {
    bool refused = false;  // ended with the usage text
    std::string out, err;
  };

  void SetUp() override {
    UtlExitInit();
    UtlExitSetTestHook(throwOnExit);
    writer.reset(new HostStatWriter);
    memset(static_cast<void*>(writer.get()), 0, sizeof(HostStatWriter));
    mgr.reset(new TallyMgr);
    mgr->init(writer.get());
  }
  void TearDown() override {
    UtlExitSetTestHook(nullptr);
    UtlExitInit();
  }

  Outcome parse(std::vector<std::string> words) {
    words.insert(words.begin(), "tallyscope");
    std::vector<const char*> argv;
    for (auto& w : words) argv.push_back(w.c_str());
    Outcome o;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
      mgr->tallyParseArgs((int)argv.size(), argv.data());
    } catch (const ExitCalled& e) {
      o.refused = true;
      EXPECT_EQ(e.status, 0);
    }
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    if (o.refused) {
      EXPECT_EQ(o.out.rfind("Usage: tallyscope [keepername | cacheName | -X] [ options ] \n", 0), 0u);
    }
    return o;
  }

  // Refused with exactly this text on standard error.
  void expectRefused(const std::vector<std::string>& words, const std::string& err) {
    Outcome o = parse(words);
    EXPECT_TRUE(o.refused) << testing::PrintToString(words);
    EXPECT_EQ(o.err, err) << testing::PrintToString(words);
  }
  void expectAccepted(const std::vector<std::string>& words) {
    Outcome o = parse(words);
    EXPECT_FALSE(o.refused) << testing::PrintToString(words) << o.err;
    EXPECT_EQ(o.err, "");
  }

  std::unique_ptr<HostStatWriter> writer;
  std::unique_ptr<TallyMgr> mgr;
};

std::string hostOnlyError(const std::string& flag) {
  return "[Error]: Invalid flag (" + flag + ") specified with host-only (-X) mode\n";
}
std::string argError(const std::string& what, const std::string& value) {
  return "[Error]: invalid argument: " + what + " '" + value + "'\n";
}

TEST_F(TallyArgsTest, InitialStateBeforeParsing) {
  EXPECT_EQ(mgr->flushInterval, 60);
  EXPECT_EQ(mgr->sampleIntervalMs, 0);
  EXPECT_EQ(mgr->statWriter, writer.get());
  EXPECT_EQ(mgr->sessionsToSample.allocatedSize, DEFAULT_LIST_SIZE);
  EXPECT_EQ(mgr->pidsWrittenThisTime.allocatedSize, DEFAULT_LIST_SIZE);
}

TEST_F(TallyArgsTest, PositionalWordRules) {
  Outcome none = parse({});
  EXPECT_TRUE(none.refused);
  EXPECT_EQ(none.err, "");

  expectAccepted({"-q", "keeper1", "-z"});
  EXPECT_STREQ(mgr->cacheName, "keeper1");
  EXPECT_TRUE(mgr->quietMode);
  EXPECT_TRUE(mgr->isCompressed);

  expectRefused({"k1", "k2"}, "");
  expectAccepted({"-X"});
  EXPECT_TRUE(mgr->hostStatsOnly);
  SetUp();
  expectRefused({"-X", "k1"}, "");
  SetUp();
  expectAccepted({"k1", "-X", "k2"});  // two words in host-only mode are ignored
  EXPECT_STREQ(mgr->cacheName, "");

  SetUp();
  std::string longName(300, 'k');
  expectAccepted({longName});
  EXPECT_EQ(std::string(mgr->cacheName), longName.substr(0, 255));
}

TEST_F(TallyArgsTest, OptionsAreAppliedInCommandLineOrder) {
  expectRefused({"-Y", "-D", "k"}, "");
  SetUp();
  expectAccepted({"-D", "-Y", "k"});
  EXPECT_TRUE(writer->disableSystemStats);
  EXPECT_FALSE(writer->monitorDisks || writer->monitorPartitions || writer->monitorNetworks ||
               writer->monitorCpus || writer->monitorSystemPages);

  SetUp();
  expectRefused({"-n", "3", "-X"}, hostOnlyError("-n"));
  SetUp();
  expectRefused({"-X", "-n", "3"}, hostOnlyError("-n"));
  SetUp();
  expectRefused({"-S", "-X"}, hostOnlyError("-S or -P or -J"));
  SetUp();
  expectRefused({"-X", "-S"}, hostOnlyError("-S"));
  SetUp();
  expectRefused({"-X", "-J"}, hostOnlyError("-J"));
  SetUp();
  expectRefused({"-X", "-P"}, hostOnlyError("-P"));
  SetUp();
  expectRefused({"-p", "4", "-X"}, hostOnlyError("-p"));
  SetUp();
  expectRefused({"-X", "-p", "4"}, hostOnlyError("-p"));
  SetUp();
  expectRefused({"-Y", "-X"}, "");
  SetUp();
  expectRefused({"-X", "-Y"}, "");
}

TEST_F(TallyArgsTest, NothingAfterARefusalIsAppliedButTheNextWordIsStillScanned) {
  Outcome o = parse({"-Y", "-D", "-q", "k"});
  EXPECT_TRUE(o.refused);
  EXPECT_FALSE(mgr->quietMode);

  SetUp();
  expectRefused({"-Y", "-A", "-m", "-z", "k"}, "tallyscope: invalid option -m\n");
  EXPECT_FALSE(mgr->isCompressed);

  SetUp();
  expectRefused({"-m", "k"}, "tallyscope: invalid option -m\n");
  SetUp();
  expectRefused({"k", "-i"}, "tallyscope: option -i requires an argument \n");
}

TEST_F(TallyArgsTest, SwitchSettersAndLevels) {
  expectAccepted({"-C", "-N", "-W", "k"});
  EXPECT_TRUE(writer->monitorCpus && writer->monitorNetworks && writer->monitorSystemPages);
  EXPECT_FALSE(writer->monitorDisks);

  SetUp();
  expectAccepted({"-A", "k"});
  EXPECT_TRUE(writer->monitorDisks && writer->monitorPartitions && writer->monitorNetworks &&
              writer->monitorCpus && writer->monitorSystemPages);

  struct Level {
    const char* level;
    bool disks, networks, all, disabled;
  };
  for (const Level& l : {Level{"0", false, false, false, true}, Level{"1", false, false, false, false},
                         Level{"2", true, false, false, false}, Level{"3", true, true, false, false},
                         Level{"4", true, true, true, false}}) {
    SetUp();
    expectAccepted({"-s", l.level, "k"});
    EXPECT_EQ((bool)writer->monitorDisks, l.disks) << l.level;
    EXPECT_EQ((bool)writer->monitorPartitions, l.disks) << l.level;
    EXPECT_EQ((bool)writer->monitorNetworks, l.networks) << l.level;
    EXPECT_EQ((bool)writer->monitorCpus, l.all) << l.level;
    EXPECT_EQ((bool)writer->disableSystemStats, l.disabled) << l.level;
  }
  for (const char* bad : {"5", "-1", "99999999999"}) {
    SetUp();
    expectRefused({"-s", bad, "k"}, "");
  }
  SetUp();
  expectRefused({"-s0", "-s2", "k"}, "");
  SetUp();
  expectRefused({"-s0", "-N", "k"}, "");
}

TEST_F(TallyArgsTest, IntervalLimits) {
  expectRefused({"-I", "9", "k"}, "ERROR: sampling intervals < 10 milliseconds not allowed\n");
  SetUp();
  expectAccepted({"-I10", "k"});
  EXPECT_EQ(mgr->sampleIntervalMs, 10);

  SetUp();
  expectAccepted({"-i", "3", "k"});
  EXPECT_EQ(mgr->sampleIntervalMs, 3000);
  SetUp();
  expectAccepted({"-i", "0", "k"});
  EXPECT_EQ(mgr->sampleIntervalMs, 0);
  SetUp();
  expectRefused({"-i", "-2", "k"}, "ERROR: negative sampling intervals not allowed\n");
  SetUp();
  expectRefused({"-i", "99999999999", "k"}, argError("sample interval", "99999999999"));
  SetUp();
  expectRefused({"-I", "99999999999", "k"}, argError("sample interval (ms)", "99999999999"));

  SetUp();
  expectAccepted({"-i", "2147484", "k"});  // the milliseconds overflow an int
  EXPECT_GT(mgr->sampleIntervalMs, 2147483000 - 1);

  SetUp();
  expectAccepted({"-t", "-5", "-h", "-2", "-u", "-1", "k"});  // not range-checked
  EXPECT_EQ(mgr->sampleNumTimes, -5);
  EXPECT_EQ(mgr->sampleHours, -2);
  EXPECT_EQ(mgr->flushInterval, -1);
}

TEST_F(TallyArgsTest, RestartNeedsASampleOrHourLimit) {
  expectRefused({"-r", "k"}, "");
  SetUp();
  expectAccepted({"-r", "-t", "10", "k"});
  EXPECT_TRUE(mgr->restart);
  SetUp();
  expectAccepted({"-h", "1", "k", "-r"});
}

TEST_F(TallyArgsTest, FileNameFitsOrIsRefused) {
  std::string fits(1023, 'f');
  expectAccepted({"-f", fits, "k"});
  EXPECT_EQ(std::string(mgr->sampleFileName), fits);
  SetUp();
  expectRefused({"-f", std::string(1024, 'f'), "k"}, "");
}

TEST_F(TallyArgsTest, ProcessIdLists) {
  Child child;
  std::string self = std::to_string(getpid()), other = std::to_string(child.pid());

  expectAccepted({"-Q", other + "," + other + ",," + self, "k"});
  std::vector<int> both = {std::min(child.pid(), (int)getpid()), std::max(child.pid(), (int)getpid())};
  EXPECT_EQ(entries(mgr->pidsToMonitor), both);

  SetUp();
  expectAccepted({"-Qx," + other, "-Q", self, "k"});  // only the last list counts
  EXPECT_EQ(entries(mgr->pidsToMonitor), std::vector<int>({(int)getpid()}));

  SetUp();
  expectRefused({"-Q", "0", "k"}, argError("Process does not exist:", "0"));
  SetUp();
  expectRefused({"-Q", "abc,", "k"}, argError("-Q", "No valid PIDs found"));
  SetUp();
  expectRefused({"-Q", self + ",99999999999", "k"}, argError("process ID list", "99999999999"));

  // A pid that no longer exists.
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  SetUp();
  expectRefused({"-Q", std::to_string(gone), "k"}, argError("Process does not exist:", std::to_string(gone)));
}

TEST_F(TallyArgsTest, UserLists) {
  expectAccepted({"-U", "root", "k"});
  EXPECT_EQ(entries(mgr->uidsToMonitor), std::vector<int>({0}));

  SetUp();
  expectAccepted({"-U", "12,root,root", "k"});  // leading numeric items are skipped
  EXPECT_EQ(entries(mgr->uidsToMonitor), std::vector<int>({0}));

  SetUp();
  expectRefused({"-U", "0,12", "k"}, argError("-U", "No valid user IDs found"));
  SetUp();
  expectRefused({"-U", "root,no_such_user_here", "k"}, "[Error]: Cannot resolve user named 'no_such_user_here'\n");

  EXPECT_EQ(getIdForUser(const_cast<char*>("root")), 0);
  EXPECT_EQ(getIdForUser(const_cast<char*>("no_such_user_here")), -1);
}

TEST_F(TallyArgsTest, KeeperOnlyOptionsAndSessions) {
  expectAccepted({"-J", "-p", "7", "-p7", "-p", "3", "-n", "12", "k"});
  EXPECT_TRUE(mgr->keeperOnly && mgr->pageMgrOnly);
  EXPECT_FALSE(mgr->pgsOnly);
  EXPECT_EQ(mgr->numAppStats, 12);
  EXPECT_EQ(mgr->sessionsToSample.size(), 3);

  SetUp();
  expectAccepted({"-P", "k"});
  EXPECT_TRUE(mgr->keeperOnly && mgr->pgsOnly);

  SetUp();
  expectRefused({"-p", "-4", "k"}, argError("session ID", "-4"));
}

TEST_F(TallyArgsTest, TallyInitCompletesTheSettings) {
  expectAccepted({"-p", "9", "-p", "2", "-p", "9", "k"});
  mgr->TallyInit();
  EXPECT_EQ(entries(mgr->sessionsToSample), std::vector<int>({2, 9}));
  EXPECT_EQ(mgr->thisProcessPid, getpid());
  EXPECT_EQ(std::string(mgr->sampleFileName), "tally" + std::to_string(getpid()));
  EXPECT_FALSE(mgr->useStdout);
  EXPECT_EQ(mgr->sampleIntervalMs, DEFAULT_INTERVAL_MS);
  EXPECT_EQ(mgr->restartCount, 0);
  UtlExitInit();  // drop the registered exit handler

  SetUp();
  expectAccepted({"-f", "StdOut", "-r", "-t", "2", "-I", "500", "k"});
  mgr->TallyInit();
  EXPECT_TRUE(mgr->useStdout);
  EXPECT_EQ(mgr->restartCount, 1);
  EXPECT_EQ(mgr->sampleIntervalMs, 500);
  UtlExitInit();
}

}  // namespace
