#include "rates.h"

#include <gtest/gtest.h>

#include "selection.h"

using namespace tallyread;

namespace {

TEST(Rates, PerSecondWithThe32BitWrapAndNoValueForADecrease) {
  struct Case { const char *before, *after; double seconds; bool wide; std::optional<double> rate; };
  const Case cases[] = {
      {"10", "30", 2, false, 10.0},
      {"4294967290", "4", 2, false, 5.0},          // a 32-bit counter that wrapped
      {"4294967295", "4294967295", 1, false, 0.0},
      {"50", "40", 1, false, std::nullopt},        // a 32-bit total that went back: no value
      {"3000000000", "852516352", 1, false, std::nullopt},  // down by exactly half the range
      {"3000000000", "852516351", 1, false, 2147483647.0},  // just under half: a wrap
      {"30", "10", 2, true, std::nullopt},         // a 64-bit total that went down: no value
      {"-5", "15", 4, true, 5.0},
      {"10", "30", 0, false, std::nullopt},        // the time did not advance
      {"10", "4294967296", 1, false, std::nullopt},  // not a 32-bit value
      {"x", "30", 1, false, std::nullopt},
      {"9223372036854775807", "9223372036854775807", 1, true, 0.0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ratePerSecond(c.before, c.after, c.seconds, c.wide), c.rate) << c.before << " -> " << c.after;
}

// (Unknown names, listed closest first, and times in seconds and in full are
// shown end to end.)
TEST(Selection, TimesWithoutSecondsParseAndTrailingTextIsRefused) {
  EXPECT_EQ(parseTimeArgument("2023-11-14 22:13Z"), 1699999980.0);
  EXPECT_FALSE(parseTimeArgument("yesterday"));
  EXPECT_FALSE(parseTimeArgument("2023-11-14T22:13:20Zx"));
}

}  // namespace
