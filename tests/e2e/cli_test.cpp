// The command line and the start-up as a user meets them: the usage text, the
// refusals with their messages, -v, the summary, and the start-up failures with
// their statuses. Each refusal's message is shown in-process by the argument tests;
// here a few show the whole program's answer.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/runprocess.h"

namespace {

// The usage text, word for word, as a user sees it.
const std::string EXPECTED_USAGE = readFileText(TALLY_FIXTURES_DIR "/cli/usage.txt");

// Every run gets an empty registry and a short debugger wait, and runs in its
// own directory so nothing it might write is left behind.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkdir(globalDir.file("locks").c_str(), 0755), 0); }
  RunResult run(std::vector<std::string> args, std::string program = TALLYSCOPE_BIN) {
    args.insert(args.begin(), program);
    RunOptions opts;
    opts.env = {"QUILLON_GLOBAL_DIR=" + globalDir.path(), "QL_CORE_TIME_OUT=1", "QL_DISABLE_WARNING=1"};
    opts.cwd = workDir.path();
    return runProgram(args, opts);
  }

  TempDir globalDir;
  TempDir workDir;
};

TEST_F(CliTest, NoArgumentsOrARefusedCommandLinePrintTheUsageTextWithStatus0) {
  RunResult r = run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, EXPECTED_USAGE);
  EXPECT_EQ(r.err, "");

  const std::string prog = TALLYSCOPE_BIN;
  const std::vector<std::vector<std::string>> cases = {
      // options apply in order (-D -Y is accepted: see below)
      {"-Y", "-D", "k", ""},
      {"-n", "3", "-X", "[Error]: Invalid flag (-n) specified with host-only (-X) mode\n"},
      {"-I", "9", "k", "ERROR: sampling intervals < 10 milliseconds not allowed\n"},
      {"-m", "k", prog + ": invalid option -m\n"},
      {"-q", ""},
  };
  for (std::vector<std::string> c : cases) {  // the last word is the expected standard error
    const std::string err = c.back();
    c.pop_back();
    RunResult r = run(c);
    EXPECT_EQ(r.status, 0) << testing::PrintToString(c);
    EXPECT_EQ(r.err, err) << testing::PrintToString(c);
    EXPECT_EQ(r.out, EXPECTED_USAGE) << testing::PrintToString(c);
  }
}

TEST_F(CliTest, DashVPrintsOneVersionLineNamedAfterTheProgram) {
  const std::regex line("tallyscope 3\\.2\\.8\\.1 BUILD: \\S+\n");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-v"}, {"-q", "-v", "-m", "a", "b"}}) {
    RunResult r = run(args);  // words after -v are never looked at
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.out, line)) << r.out;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(run({"-m", "-v"}).out, EXPECTED_USAGE);

  // The name is argv[0] without its directory and its last extension.
  ASSERT_EQ(symlink(TALLYSCOPE_BIN, workDir.file("tally.x").c_str()), 0);
  ASSERT_EQ(symlink(TALLYSCOPE_BIN, workDir.file("my.tool.bin").c_str()), 0);
  EXPECT_TRUE(std::regex_match(run({"-v"}, workDir.file("tally.x")).out, std::regex("tally 3\\.2\\.8\\.1 BUILD: \\S+\n")));
  EXPECT_TRUE(
      std::regex_match(run({"-v"}, workDir.file("my.tool.bin")).out, std::regex("my\\.tool 3\\.2\\.8\\.1 BUILD: \\S+\n")));
}

TEST_F(CliTest, CachesThatCannotBeFoundEndWithStatus3) {
  RunResult unknown = run({"-D", "-Y", "nokeeper"});
  EXPECT_EQ(unknown.status, 3);
  EXPECT_EQ(unknown.out,
            "[ERROR]: Could not find a shared page cache for the keeper named nokeeper on this machine\n"
            "      Error Message: No keeper or cache for keeper named nokeeper was found on this machine.\n");
  // Not quiet: the banner was written, but no summary line follows a failed resolve.
  EXPECT_NE(unknown.err.find("PROGRAM: TALLY, Quillon Statistics Monitor"), std::string::npos) << unknown.err;
  EXPECT_EQ(unknown.err.find("Output file is"), std::string::npos) << unknown.err;

  RunResult quiet = run({"-q", "nokeeper~1f"});
  EXPECT_EQ(quiet.status, 3);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err.rfind("[Error] Unable to attach to the shared cache 'nokeeper~1f'.\nReason:", 0), 0u)
      << quiet.err;

  // Not quiet, the summary comes first.
  RunResult r = run({"-I", "500", "-t", "3", "-h", "2", "-p", "5", "-p", "2", "-p", "5", "-S", "-f", "STDOUT",
                     "nokeeper~1f"});
  EXPECT_EQ(r.status, 3);
  const std::string summary =
      "Monitoring cache:     nokeeper~1f\n"
      "  Output file is:     stdout\n"
      "  Sample Interval (-i) is: 0.500 seconds\n"
      "     WARNING: Sample Interval < 1 second\n"
      "        plotter time base in sample points, not units of real time\n"
      "  Sampling keeper and shared cache monitor ONLY\n"
      "  Write Interval (-u) is:  60 seconds\n"
      "  Session(s) to sample:    2 5\n"
      "  Number of samples:  3\n"
      "  Number of hours:  2\n"
      "[Error] Unable to attach to the shared cache 'nokeeper~1f'.\nReason:";
  size_t at = r.err.find("Monitoring cache:");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.substr(at, summary.size()), summary);
}

}  // namespace
