#include "archive/header.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <clocale>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "archive/hostsysinfo.h"
#include "archive/writerfixture.h"

namespace {

std::string readFixture(const char* name) {
  std::ifstream in(std::string(TALLY_FIXTURES_DIR) + "/archive/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ArchiveHeader, HostStatsOffIsTheExpectedTextByteForByte) {
  TestWriter t;
  t.w.disableSystemStats = TRUE;
  TallyWriteStatDescription(&t.w, "VERSION", "MACHINE", "TIME");
  const std::string expected = readFixture("header_host_off.txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(t.text(), expected);
}

TEST(ArchiveHeader, HostStatsOnAppendsProcessNamesToProcessTypes) {
  TestWriter t;
  t.w.disableSystemStats = FALSE;
  TallyWriteCacheTypes(&t.w);
  const std::string expected = readFixture("cache_types_host_on.txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(t.text(), expected);
}

TEST(ArchiveHeader, IdentificationValuesAreCopiedVerbatim) {
  TestWriter t;
  t.w.disableSystemStats = TRUE;
  TallyWriteStatDescription(&t.w, "3.2.8.1, Mon Jan  1 00:00:00 2024", "box x86_64 (Linux 6.1 #1)",
                            "01/02/24 03:04:05 UTC");
  const std::string expected =
      "TALLY \"3\"\nPlatform = \"x86-64 (Solaris i386)\"\n"
      "QuillonVersion = \"3.2.8.1, Mon Jan  1 00:00:00 2024\"\n"
      "Machine = \"box x86_64 (Linux 6.1 #1)\"\nTime = \"01/02/24 03:04:05 UTC\"\nStatTypes = [\nShrpc  ( \n";
  EXPECT_EQ(t.text().substr(0, expected.size()), expected);
}

TEST(ArchiveHeader, TypeCountsDoubleAndBasicNamesEndTheirLine) {
  TestWriter t;
  t.w.currentTypeCount = t.w.baseTypeCount;
  EXPECT_EQ(t.w.writeTypeCount(), 64u);
  EXPECT_EQ(t.w.writeTypeCount(), 128u);
  EXPECT_EQ(t.w.currentTypeCount, 256u);
  t.w.currentTypeCount = 1u << 30;
  EXPECT_EQ(t.w.writeTypeCount(), 1u << 30);
  t.w.writeBasicStatNames();
  EXPECT_EQ(t.text(), "64 128 1073741824 StatTypeNum Time ProcessName ProcessId SessionId \n");
}

TEST(MachineDescription, SolarisRuleAndPlainSystems) {
  struct utsname u;
  memset(&u, 0, sizeof(u));
  strcpy(u.nodename, "db1");
  strcpy(u.machine, "i86pc");
  strcpy(u.sysname, "SunOS");
  strcpy(u.release, "5.10");
  strcpy(u.version, "Generic_147148-26");
  char buf[128];
  HostDescribeSystem(&u, buf, sizeof(buf));
  EXPECT_STREQ(buf, "db1 i86pc (Solaris 2.10 Generic_147148-26)");

  strcpy(u.release, "4.1.4");  // too old for the renaming
  HostDescribeSystem(&u, buf, sizeof(buf));
  EXPECT_STREQ(buf, "db1 i86pc (SunOS 4.1.4 Generic_147148-26)");

  strcpy(u.sysname, "Linux");
  strcpy(u.machine, "x86_64");
  strcpy(u.release, "6.1.0-18-amd64");
  strcpy(u.version, "#1 SMP Debian");
  HostDescribeSystem(&u, buf, sizeof(buf));
  EXPECT_STREQ(buf, "db1 x86_64 (Linux 6.1.0-18-amd64 #1 SMP Debian)");
  HostDescribeSystem(&u, buf, 10);
  EXPECT_STREQ(buf, "db1 x86_6");  // cut to the buffer less one

  u.sysname[0] = '\0';
  HostDescribeSystem(&u, buf, sizeof(buf));
  EXPECT_STREQ(buf, "x86-64 (Solaris i386)");

  HostGetSystemName(buf, sizeof(buf));  // the real host
  EXPECT_NE(strchr(buf, '('), nullptr);
}

TEST(HeaderTimeFormat, UsableFormatsNeedMonthDayHourMinutesSeconds) {
  struct Case { const char* fmt; BoolType usable; };
  const Case cases[] = {
      {"%Y-%m-%d %H:%M:%S", TRUE},
      {"%d %b %Y %I:%M:%S %p", TRUE},
      {"%B %d %I.%M.%S %P", TRUE},
      {"%h %-d %H:%M:%S", TRUE},
      {"%Y-%m-%d %I:%M:%S", FALSE},   // 12-hour clock without am/pm
      {"%Y-%m-%d %H:%M", FALSE},      // no seconds
      {"%Y %d %H:%M:%S", FALSE},      // no month
      {"%m %%d %H:%M:%S", FALSE},     // "%%d" is literal text, not a day
      {"", FALSE},
  };
  for (const Case& c : cases) EXPECT_EQ(HostTimeFormatIsUsable(c.fmt), c.usable) << c.fmt;
}

TEST(HeaderTimeFormat, FallsBackToTheLocaleDateFormat) {
  const char* saved = setlocale(LC_TIME, nullptr);
  std::string savedLocale = saved != nullptr ? saved : "C";
  setlocale(LC_TIME, "C");
  char out[256];
  EXPECT_TRUE(HostChooseTimeFormat(nullptr, out, sizeof(out)));
  EXPECT_STREQ(out, "%m/%d/%y %H:%M:%S %Z");
  EXPECT_TRUE(HostChooseTimeFormat("", out, sizeof(out)));  // set but empty counts as unset
  EXPECT_STREQ(out, "%m/%d/%y %H:%M:%S %Z");
  EXPECT_FALSE(HostChooseTimeFormat("%H:%M", out, sizeof(out)));
  EXPECT_STREQ(out, "%m/%d/%y %H:%M:%S %Z");
  EXPECT_TRUE(HostChooseTimeFormat("%d.%m.%Y %H:%M:%S", out, sizeof(out)));
  EXPECT_STREQ(out, "%d.%m.%Y %H:%M:%S");
  setlocale(LC_TIME, savedLocale.c_str());
}

}  // namespace
