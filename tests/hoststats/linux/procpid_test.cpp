#include "hoststats/linux/procpid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hoststats/processstats.h"

namespace {

BoolType parseStat(const std::string& text, ProcPidStat* out) { return parseProcPidStat(text.data(), text.size(), out); }

TEST(ProcPidStatParse, CommandNamesWithSpacesAndParenthesesEndAtTheLastParenthesis) {
  ProcPidStat st;
  ASSERT_TRUE(parseStat("77 (a) b (c)) ) S 1 77 77 0 -1 0 5 0 6 0 7 8 0 0 -2 -20 4 0 99 4096 3 0 0\n", &st));
  EXPECT_EQ(st.pid, 77);
  EXPECT_STREQ(st.comm, "a) b (c)) ");
  EXPECT_EQ(st.state, 'S');
  EXPECT_EQ(st.minflt, 5u);
  EXPECT_EQ(st.majflt, 6u);
  EXPECT_EQ(st.utime, 7u);
  EXPECT_EQ(st.stime, 8u);
  EXPECT_EQ(st.numThreads, 4u);
  EXPECT_EQ(st.startTime, 99u);
  EXPECT_EQ(st.vsize, 4096u);
  EXPECT_EQ(st.rssPages, 3u);
}

TEST(ProcPidStatParse, RejectsTextMissingFieldsOrNumbers) {
  ProcPidStat st;
  EXPECT_FALSE(parseStat("", &st));
  EXPECT_FALSE(parseStat("12 (x S 1 2 3", &st));                             // no closing parenthesis
  EXPECT_FALSE(parseStat("12 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8", &st));       // stops before field 24
  EXPECT_FALSE(parseStat("12 (x) S 1 12 12 0 -1 0 5 0 6 0 seven 8 0 0 20 0 1 0 9 1 1", &st));
  EXPECT_FALSE(parseStat("-12 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8 0 0 20 0 1 0 9 1 1", &st));
  EXPECT_FALSE(parseStat("0 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8 0 0 20 0 1 0 9 1 1", &st));
  EXPECT_FALSE(parseStat("99999999999999999999999 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8 0 0 20 0 1 0 9 1 1", &st));
}

TEST(ProcPidStatusParse, TakesTheFiguresItNeedsAndRequiresThePid) {
  std::string text =
      "Name:\tw\nPPid:\t1\nTracerPid:\t0\nPid:\t31\nNSpid:\t31\nVmSize:\t   900 kB\nVmRSS:\t  300 kB\n"
      "VmData:\t 200 kB\nVmStk:\t 132 kB\nThreads:\t2\nvoluntary_ctxt_switches:\t5\n"
      "nonvoluntary_ctxt_switches:\t6";  // no newline after the last line
  ProcPidStatus s;
  ASSERT_TRUE(parseProcPidStatus(text.data(), text.size(), &s));
  EXPECT_EQ(s.pid, 31);
  EXPECT_EQ(s.vmSizeKb, 900u);
  EXPECT_EQ(s.vmRssKb, 300u);
  EXPECT_EQ(s.vmDataKb, 200u);
  EXPECT_EQ(s.vmStkKb, 132u);
  EXPECT_EQ(s.threads, 2u);
  EXPECT_EQ(s.volCsw, 5u);
  EXPECT_EQ(s.nonvolCsw, 6u);

  std::string noPid = "Name:\tw\nPPid:\t1\nVmRSS:\t 3 kB\n";
  EXPECT_FALSE(parseProcPidStatus(noPid.data(), noPid.size(), &s));
  std::string badValue = "Pid:\t31\nVmRSS:\t lots kB\n";
  EXPECT_FALSE(parseProcPidStatus(badValue.data(), badValue.size(), &s));
}

TEST(ProcPidIoAndSchedstatParse, RequireTheirCountersAsNumbers) {
  std::string io = "rchar: 1\nwchar: 2\nsyscr: 3\nsyscw: 4\nread_bytes: 5\nwrite_bytes: 6\ncancelled_write_bytes: 7\n";
  ProcPidIo out;
  ASSERT_TRUE(parseProcPidIo(io.data(), io.size(), &out));
  EXPECT_EQ(out.rchar, 1u);
  EXPECT_EQ(out.writeBytes, 6u);
  EXPECT_EQ(out.cancelledWriteBytes, 7u);
  std::string noReadBytes = "rchar: 1\nwchar: 2\nwrite_bytes: 6\n";
  EXPECT_FALSE(parseProcPidIo(noReadBytes.data(), noReadBytes.size(), &out));

  ProcPidSchedstat sched;
  std::string s = "1000 2500000 3\n";
  ASSERT_TRUE(parseProcPidSchedstat(s.data(), s.size(), &sched));
  EXPECT_EQ(sched.waitNs, 2500000u);
  std::string one = "1000\n";
  EXPECT_FALSE(parseProcPidSchedstat(one.data(), one.size(), &sched));
}

std::string exeName(const char* text, size_t size = 32) {
  char buf[64];
  getPidExeName(buf, size, text);
  return buf;
}

TEST(ExeName, LastPathComponentCutAtColonOrBlank) {
  EXPECT_EQ(exeName("/usr/bin/worker"), "worker");
  EXPECT_EQ(exeName("server:main"), "server");
  EXPECT_EQ(exeName("/opt/x/srv:1/zzz"), "srv");  // cut first, then the last '/'
  EXPECT_EQ(exeName("tool (v2) x"), "tool");
  EXPECT_EQ(exeName("tab\there"), "tab");
  EXPECT_EQ(exeName("line\nbreak"), "line");
  EXPECT_EQ(exeName(""), "<unknown>");
  EXPECT_EQ(exeName(":x"), "<unknown>");
  EXPECT_EQ(exeName("dir/"), "<unknown>");
  EXPECT_EQ(exeName("averyveryverylongname", 8), "averyve");
}

TEST(Shares, CpuShareOfOneCpuOverTheInterval) {
  const int64_t sec = 1000000000LL;
  EXPECT_EQ(cpuSharePercent(100, 200, 10 * sec, 11 * sec, 100), 100u);  // 1 s of CPU in 1 s
  EXPECT_EQ(cpuSharePercent(100, 150, 10 * sec, 11 * sec, 100), 50u);
  EXPECT_EQ(cpuSharePercent(0, 400, 10 * sec, 12 * sec, 100), 200u);   // two busy threads
  EXPECT_EQ(cpuSharePercent(100, 133, 10 * sec, 11 * sec, 100), 33u);   // truncated
  EXPECT_EQ(cpuSharePercent(100, 200, 10 * sec, 10 * sec, 100), 0u);    // no time elapsed
  EXPECT_EQ(cpuSharePercent(200, 100, 10 * sec, 11 * sec, 100), 0u);    // ticks went backwards
  EXPECT_EQ(cpuSharePercent(100, 200, 11 * sec, 10 * sec, 100), 0u);
  EXPECT_EQ(cpuSharePercent(100, 200, 10 * sec, 11 * sec, 0), 0u);
}

TEST(Shares, MemoryShareAndTickConversion) {
  EXPECT_EQ(memSharePercent(1600000, 16000000), 10u);
  EXPECT_EQ(memSharePercent(159999, 1600000), 9u);
  EXPECT_EQ(memSharePercent(1, 0), 0u);
  EXPECT_EQ(ticksToMs(250, 100), 2500u);
  EXPECT_EQ(ticksToMs(3, 1000), 3u);
  EXPECT_EQ(ticksToMs(0x100000000ULL * 100, 100), 0u);  // truncated to 32 bits
}

TEST(BuildStats, FirstReadSharesTheLifeOfTheProcessAndIoFiguresNeedTheIoFile) {
  ProcPidSample s;
  memset(&s, 0, sizeof(s));
  s.stat.utime = 300;
  s.stat.stime = 100;
  s.stat.startTime = 1000;  // 10 s after boot
  strcpy(s.stat.comm, "x");
  s.status.vmRssKb = 500;
  s.io.readBytes = 1024;
  s.io.writeBytes = 100;
  s.io.cancelledWriteBytes = 600;  // more cancelled than written: no blocks, no wrap
  ProcShareBasis b{100, 1000, 0, 0, 30 * 1000000000LL};
  HostProcessStatsSType out;
  buildProcessStats(s, b, &out);
  EXPECT_EQ(out.values[procstat::PercentCpuUsed], 20u);  // 4 s of CPU in 20 s
  EXPECT_EQ(out.values[procstat::PercentMemoryUsed], 50u);
  EXPECT_EQ(out.values[procstat::InputBlocks], 0u);       // io file not read
  s.haveIo = TRUE;
  buildProcessStats(s, b, &out);
  EXPECT_EQ(out.values[procstat::InputBlocks], 2u);
  EXPECT_EQ(out.values[procstat::OutputBlocks], 0u);
  EXPECT_STREQ(out.name, "x");
}

}  // namespace
