#include "host/safetext.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <string>

namespace {

TEST(HostSafeText, NumbersAndTextWithoutTheCLibrary) {
  HostSafeText t;
  t.num(0).str(" ").num(-42).str(" ").num(LLONG_MIN).str(" ").unum(ULLONG_MAX).str(" 0x").hex(0xdeadbeef);
  EXPECT_STREQ(t.text(), "0 -42 -9223372036854775808 18446744073709551615 0xdeadbeef");
  t.clear();
  t.str(std::string(400, 'z').c_str());
  EXPECT_EQ(t.length(), HostSafeText::CAPACITY - 1);  // cut, never overrun
}

TEST(HostSafeText, UtcTimeMatchesTheCLibrary) {
  const time_t samples[] = {0, 951782400 /* 2000-02-29 */, 1700000000, 4107542399 /* 2100-02-28 23:59:59 */,
                            -86400, 1709164799};
  for (time_t t : samples) {
    struct tm utc;
    gmtime_r(&t, &utc);
    char expected[64];
    strftime(expected, sizeof expected, "%a %b %e %H:%M:%S %Y UTC", &utc);
    HostSafeText text;
    text.utcTime(t);
    EXPECT_STREQ(text.text(), expected) << t;
  }
}

}  // namespace
