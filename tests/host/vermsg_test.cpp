#include "host/vermsg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "support/runprocess.h"

namespace {

// Runs fn on a memory stream and returns what it wrote.
template <typename Fn>
std::string capture(Fn fn) {
  char* data = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&data, &size);
  fn(f);
  fclose(f);
  std::string text(data, size);
  free(data);
  return text;
}

std::string messageOf(const std::string& text) {
  return capture([&](FILE* f) { VerMessage(f, text.c_str()); });
}

TEST(VerMessage, ClosingBarDependsOnTheTextLength) {
  std::string t75(75, 'a'), t76(76, 'b'), t77(77, 'c');
  EXPECT_EQ(messageOf(t75), "| " + t75 + " |\n");
  EXPECT_EQ(messageOf(t76), "| " + t76 + "|\n");
  EXPECT_EQ(messageOf(t77), "| " + t77 + "\n");
  EXPECT_EQ(messageOf("short"), "| short" + std::string(70, ' ') + " |\n");
  EXPECT_EQ(messageOf(""), "| " + std::string(75, ' ') + " |\n");
}

TEST(VerMessage, BreaksAtNewlinesAndAtABlankAfter74Characters) {
  EXPECT_EQ(messageOf("one\ntwo"), "| one" + std::string(72, ' ') + " |\n| two" + std::string(72, ' ') + " |\n");
  std::string first(74, 'x');
  // The blank at position 74 ends the line and is dropped; one at 73 does not.
  EXPECT_EQ(messageOf(first + " rest"), "| " + first + "  |\n| rest" + std::string(71, ' ') + " |\n");
  std::string early = std::string(73, 'y') + " z";
  EXPECT_EQ(messageOf(early), "| " + early + " |\n");
}

TEST(VerCenteredMessage, PrefixedWithHalfTheRemainingWidth) {
  std::string t45(45, 'm');
  std::string out = capture([&](FILE* f) { VerCenteredMessage(f, t45.c_str()); });
  EXPECT_EQ(out, "| " + std::string(15, ' ') + t45 + std::string(15, ' ') + " |\n");
  std::string t74(74, 'n');
  out = capture([&](FILE* f) { VerCenteredMessage(f, t74.c_str()); });
  EXPECT_EQ(out, "| " + t74 + "  |\n");  // (75 - 74) / 2 = 0 blanks
  std::string t80(80, 'o');
  out = capture([&](FILE* f) { VerCenteredMessage(f, t80.c_str()); });
  EXPECT_EQ(out, "| " + t80 + "\n");
}

TEST(VerBanner, EdgesAndEveryLineAre79CharactersWide) {
  EXPECT_EQ(capture(VerLeadingEdge), " " + std::string(77, '_') + "\n");
  EXPECT_EQ(capture(VerDividerLine), "+" + std::string(77, '-') + "+\n");
  EXPECT_EQ(capture(VerEndEdge), "|" + std::string(77, '_') + "|\n");
  EXPECT_STREQ(VerLeadingEdgeText(), capture(VerLeadingEdge).c_str());

  std::string banner = capture(VerBannerTally);
  std::vector<std::string> lines = splitLines(banner);
  ASSERT_GE(lines.size(), 14u);
  std::string title = "Quillon Object-Oriented Data Management System";
  std::string centred = std::string((75 - title.size()) / 2, ' ') + title;
  EXPECT_EQ(lines[1], "| " + centred + std::string(75 - centred.size(), ' ') + " |");
  EXPECT_EQ(lines[4], "+" + std::string(77, '-') + "+");
  EXPECT_EQ(lines[5].rfind("|    PROGRAM: TALLY, Quillon Statistics Monitor ", 0), 0u);
  EXPECT_EQ(lines[0].size(), 78u);  // the leading edge has no corner on the right
  for (size_t i = 1; i < lines.size(); i++) EXPECT_EQ(lines[i].size(), 79u) << lines[i];
  std::vector<std::string> labels = {"   VERSION: 3.2.8.1, ", "     BUILD: ", " BUILT FOR: x86-64 (Solaris i386)",
                                     "      MODE: 64 bit", "RUNNING ON: ", "PROCESS ID: ", "  USER IDS: REAL=",
                                     "BUILD TYPE: SLOW"};
  size_t at = 6;
  for (const std::string& label : labels) {
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at].rfind("| " + label, 0), 0u) << lines[at];
    at++;
  }
  EXPECT_TRUE(std::regex_search(banner, std::regex("PROCESS ID: [0-9]+ +DATE: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]")));
}

TEST(VerVersion, VersionTextCarriesTheBuildDateInCtimeForm) {
  // "3.2.8.1, Www Mmm dd hh:mm:ss yyyy" with the day padded by a blank.
  EXPECT_TRUE(std::regex_match(VerQLVersion(), std::regex("3\\.2\\.8\\.1, [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] "
                                                           "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << VerQLVersion();
  std::string dashV = capture([](FILE* f) { VerDashVPrint(f, "tallyscope"); });
  EXPECT_EQ(dashV, std::string("tallyscope 3.2.8.1 BUILD: ") + VerQLSerialNum() + "\n");
}

TEST(VerProgramName, DropsTheDirectoryAndTheLastExtension) {
  char name[64];
  VerProgramName("/opt/q/bin/tallyscope", name, sizeof name);
  EXPECT_STREQ(name, "tallyscope");
  VerProgramName("./tally.scope.exe", name, sizeof name);
  EXPECT_STREQ(name, "tally.scope");
  VerProgramName("plain", name, sizeof name);
  EXPECT_STREQ(name, "plain");
  VerProgramName("/x/.hidden", name, sizeof name);
  EXPECT_STREQ(name, ".hidden");
}

}  // namespace
