#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "support/cachefixture.h"

namespace {

struct ExitCalled { int status; };
void throwOnExit(int status) { throw ExitCalled{status}; }

std::vector<int> entries(const SortedList& l) { return std::vector<int>(l.list, l.list + l.numEntries); }

class TallyArgsTest : public ::testing::Test {
 protected:
  void SetUp() override { UtlExitSetTestHook(throwOnExit); }
  void TearDown() override {
    UtlExitSetTestHook(nullptr);
    UtlExitInit();
  }

  // Parses the words (after the program name) into a fresh manager and writer;
  // true when refused (with the usage text), and what went to standard error.
  bool parse(std::vector<std::string> words, std::string* err) {
    UtlExitInit();
    writer.reset(new HostStatWriter());
    mgr.reset(new TallyMgr());
    mgr->init(writer.get());
    words.insert(words.begin(), "tallyscope");
    std::vector<const char*> argv;
    for (auto& w : words) argv.push_back(w.c_str());
    bool refused = false;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
      mgr->tallyParseArgs((int)argv.size(), argv.data());
    } catch (const ExitCalled& e) {
      refused = true;
      EXPECT_EQ(e.status, 0);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    *err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(!refused || out.rfind("Usage: tallyscope [keepername | cacheName | -X] [ options ] \n", 0) == 0) << out;
    return refused;
  }
  // Refused with exactly this text on standard error.
  void expectRefused(const std::vector<std::string>& words, const std::string& expected) {
    std::string err;
    EXPECT_TRUE(parse(words, &err)) << testing::PrintToString(words);
    EXPECT_EQ(err, expected) << testing::PrintToString(words);
  }
  void expectAccepted(const std::vector<std::string>& words) {
    std::string err;
    EXPECT_FALSE(parse(words, &err)) << testing::PrintToString(words) << err;
    EXPECT_EQ(err, "");
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

// (The usage text and the messages most users meet are checked end to end.)
TEST_F(TallyArgsTest, RefusedCommandLinesAndTheirMessages) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""}, {{"k1", "k2"}, ""}, {{"-X", "k1"}, ""},
      // options apply in order: a later option sees what earlier ones set
      {{"-s0", "-N", "k"}, ""}, {{"-s0", "-s2", "k"}, ""},
      {{"-S", "-X"}, hostOnlyError("-S or -P or -J")}, {{"-X", "-S"}, hostOnlyError("-S")},
      {{"-p", "4", "-X"}, hostOnlyError("-p")}, {{"-Y", "-X"}, ""}, {{"-X", "-Y"}, ""},
      {{"-s", "5", "k"}, ""}, {{"-s", "-1", "k"}, ""},
      {{"-i", "-2", "k"}, "ERROR: negative sampling intervals not allowed\n"},
      {{"-i", "99999999999", "k"}, argError("sample interval", "99999999999")},
      {{"-I", "99999999999", "k"}, argError("sample interval (ms)", "99999999999")},
      {{"-r", "k"}, ""}, {{"-f", std::string(1024, 'f'), "k"}, ""},
      {{"-p", "-4", "k"}, argError("session ID", "-4")},
      // after a refusal one more word is scanned
      {{"-Y", "-A", "-m", "-z", "k"}, "tallyscope: invalid option -m\n"},
  };
  for (const auto& c : cases) expectRefused(c.first, c.second);
  EXPECT_FALSE(mgr->isCompressed) << "nothing after a refusal is applied";
}

TEST_F(TallyArgsTest, AcceptedSettings) {
  expectAccepted({"-q", "keeper1", "-z", "-I10"});  // the positional word anywhere
  EXPECT_STREQ(mgr->cacheName, "keeper1");
  EXPECT_TRUE(mgr->quietMode && mgr->isCompressed);
  EXPECT_EQ(mgr->sampleIntervalMs, 10);
  expectAccepted({"k1", "-X", "k2"});  // two words in host-only mode are ignored
  EXPECT_TRUE(mgr->hostStatsOnly);
  EXPECT_STREQ(mgr->cacheName, "");
  expectAccepted({std::string(300, 'k'), "-i", "3"});
  EXPECT_EQ(std::string(mgr->cacheName), std::string(255, 'k'));
  EXPECT_EQ(mgr->sampleIntervalMs, 3000);
  expectAccepted({"-i", "2147484", "k"});  // the milliseconds overflow an int
  EXPECT_GE(mgr->sampleIntervalMs, 2147483000);

  expectAccepted({"-D", "-Y", "k"});  // -Y after -D leaves only disableSystemStats
  EXPECT_TRUE(writer->disableSystemStats);
  EXPECT_FALSE(writer->monitorDisks || writer->monitorPartitions || writer->monitorNetworks ||
               writer->monitorCpus || writer->monitorSystemPages);
  struct Level { const char* level; bool disks, networks, all, disabled; };
  for (const Level& l : {Level{"0", false, false, false, true}, Level{"1", false, false, false, false},
                         Level{"2", true, false, false, false}, Level{"3", true, true, false, false},
                         Level{"4", true, true, true, false}}) {
    expectAccepted({"-s", l.level, "k"});
    EXPECT_TRUE(writer->monitorDisks == l.disks && writer->monitorPartitions == l.disks) << l.level;
    EXPECT_EQ((bool)writer->monitorNetworks, l.networks) << l.level;
    EXPECT_EQ((bool)(writer->monitorCpus && writer->monitorSystemPages), l.all) << l.level;
    EXPECT_EQ((bool)writer->disableSystemStats, l.disabled) << l.level;
  }
}

TEST_F(TallyArgsTest, ProcessAndUserLists) {
  const int self = getpid(), parent = getppid();
  const std::string s = std::to_string(self), p = std::to_string(parent), gone = std::to_string(deadPid());
  expectAccepted({"-Qx," + s, "-Q", p + "," + p + ",," + s, "k"});  // only the last list counts
  EXPECT_EQ(entries(mgr->pidsToMonitor), (std::vector<int>{std::min(self, parent), std::max(self, parent)}));
  expectRefused({"-Q", "abc,", "k"}, argError("-Q", "No valid PIDs found"));
  expectRefused({"-Q", s + ",99999999999", "k"}, argError("process ID list", "99999999999"));
  expectRefused({"-Q", gone, "k"}, argError("Process does not exist:", gone));

  expectAccepted({"-U", "12,root,root", "k"});  // leading numeric items are skipped
  EXPECT_EQ(entries(mgr->uidsToMonitor), std::vector<int>({0}));
  expectRefused({"-U", "0,12", "k"}, argError("-U", "No valid user IDs found"));
}

// (A name with no keeper before its "~" is refused end to end.)
TEST_F(TallyArgsTest, ACacheNameIsUsedUnchangedAndNamesItsKeeperAnEmptyNameIsRefused) {
  auto resolve = [this](const std::string& name, const std::string& said) {
    expectAccepted({"k"});
    snprintf(mgr->cacheName, sizeof mgr->cacheName, "%s", name.c_str());
    testing::internal::CaptureStdout();
    bool ok = mgr->resolveCacheName();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), said);
    EXPECT_STREQ(mgr->cacheName, name.c_str());
    return ok;
  };
  ASSERT_TRUE(resolve("keeper7~1f2e", ""));
  EXPECT_STREQ(mgr->keeperName, "keeper7");
  ASSERT_TRUE(resolve("a~b~c", ""));  // the keeper part ends at the first "~"
  EXPECT_STREQ(mgr->keeperName, "a");
  EXPECT_FALSE(resolve("", "[ERROR]: A keeper name or cache name must be specified\n"));
}

// (Sessions sorted without repeats are shown end to end.)
TEST_F(TallyArgsTest, TallyInitCompletesTheSettings) {
  expectAccepted({"k"});
  mgr->TallyInit();
  EXPECT_EQ(std::string(mgr->sampleFileName), "tally" + std::to_string(getpid()));
  EXPECT_EQ(mgr->sampleIntervalMs, DEFAULT_INTERVAL_MS);
}

}  // namespace
