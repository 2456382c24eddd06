#include "host/hostdatefmt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(HostDateFormatUsable, NeedsMonthDayHourMinutesAndSeconds) {
  EXPECT_TRUE(HostDateFormatUsable("%m/%d/%Y %H:%M:%S %Z"));
  EXPECT_TRUE(HostDateFormatUsable("%Y-%m-%d %H:%M:%S"));
  EXPECT_TRUE(HostDateFormatUsable("%d %b %I:%M:%S %p"));
  EXPECT_TRUE(HostDateFormatUsable("%d %h %-I:%M:%S %P"));
  EXPECT_FALSE(HostDateFormatUsable("%d %b %I:%M:%S"));  // a 12-hour clock without am/pm
  EXPECT_FALSE(HostDateFormatUsable("%H:%M:%S"));
  EXPECT_FALSE(HostDateFormatUsable("%%m/%%d %H:%M:%S"));  // escaped percent signs name nothing
  EXPECT_FALSE(HostDateFormatUsable(""));
  EXPECT_FALSE(HostDateFormatUsable(nullptr));
}

// The format is worked out once per process, so each case runs in a child.
TEST(HostDateTimeFormatDeath, UnusableSettingIsReportedAndTheLocaleDefaultUsed) {
  EXPECT_EXIT(
      {
        setenv("QL_CFTIME", "%H:%M", 1);
        bool ok = strcmp(HostDateTimeFormat(), "%m/%d/%y %H:%M:%S %Z") == 0;
        HostDateTimeFormat();  // reported once only
        _exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "^\\[Warning\\]: QL_CFTIME '%H:%M' [^\n]*\n$");
  EXPECT_EXIT(
      {
        setenv("QL_CFTIME", "%Y-%m-%d %H:%M:%S", 1);
        _exit(strcmp(HostDateTimeFormat(), "%Y-%m-%d %H:%M:%S") == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
