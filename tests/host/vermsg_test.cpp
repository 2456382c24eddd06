#include "host/vermsg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/runprocess.h"

namespace {

std::string messageOf(const std::string& text) {
  return textWrittenBy([&](FILE* f) { VerMessage(f, text.c_str()); });
}

std::string sp(size_t n) { return std::string(n, ' '); }

TEST(VerMessage, ClosingBarByLengthBreaksAndCentring) {
  const std::string t74(74, 'x'), t75(75, 'a'), t76(76, 'b'), t77(77, 'c'), y73(73, 'y');
  const std::pair<std::string, std::string> cases[] = {
      {t75, "| " + t75 + " |\n"}, {t76, "| " + t76 + "|\n"}, {t77, "| " + t77 + "\n"},
      {"short", "| short" + sp(70) + " |\n"}, {"", "| " + sp(75) + " |\n"},
      {"one\ntwo", "| one" + sp(72) + " |\n| two" + sp(72) + " |\n"},
      // The blank at position 74 ends the line and is dropped; one at 73 does not.
      {t74 + " rest", "| " + t74 + "  |\n| rest" + sp(71) + " |\n"}, {y73 + " z", "| " + y73 + " z |\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(messageOf(c.first), c.second) << c.first;
  const std::string t45(45, 'm');
  EXPECT_EQ(textWrittenBy([&](FILE* f) { VerCenteredMessage(f, t45.c_str()); }), "| " + sp(15) + t45 + sp(15) + " |\n");
}

// (The banner's place and its labels are shown end to end.)
TEST(VerBanner, EveryLineIs79CharactersWide) {
  EXPECT_STREQ(VerLeadingEdgeText(), textWrittenBy(VerLeadingEdge).c_str());
  const std::vector<std::string> lines = splitLines(textWrittenBy(VerBannerTally));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], " " + std::string(77, '_'));  // the leading edge has no corner on the right
  for (size_t i = 1; i < lines.size(); i++) EXPECT_EQ(lines[i].size(), 79u) << lines[i];
  EXPECT_EQ(textWrittenBy(VerEndEdge), "|" + std::string(77, '_') + "|\n");
}

}  // namespace
