#include "monitor/freegetopt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Runs a whole scan and records the letters returned ("i=5" for an argument).
struct Scan {
  std::vector<std::string> words;
  std::vector<const char*> argv;
  std::vector<std::string> seen;
  std::string err;

  explicit Scan(std::vector<std::string> w, const char* optstring = "qzAf:i:") : words(std::move(w)) {
    for (auto& word : words) argv.push_back(word.c_str());
    free_optind = 0;
    testing::internal::CaptureStderr();
    int c;
    while ((c = free_getopt((int)argv.size(), argv.data(), optstring, -1)) != -1) {
      std::string item(1, (char)c);
      if (c == '?') item += (char)free_optopt;
      if (free_optarg) item += "=" + std::string(free_optarg);
      seen.push_back(item);
    }
    err = testing::internal::GetCapturedStderr();
  }
  std::vector<std::string> positional() const {
    return std::vector<std::string>(argv.begin() + free_optind, argv.end());
  }
};

using Words = std::vector<std::string>;

TEST(FreeGetopt, PositionalWordsMoveToTheEndUnlessPosixlyCorrectOrPlus) {
  Scan s({"prog", "cache", "-q", "-i", "5", "other", "-z"});
  EXPECT_EQ(s.seen, Words({"q", "i=5", "z"}));
  EXPECT_EQ(free_optind, 5);
  EXPECT_EQ(s.positional(), Words({"cache", "other"}));
  EXPECT_EQ(s.err, "");
  Scan alone({"prog", "-", "-q"});  // a lone "-" is a positional word
  EXPECT_EQ(alone.seen, Words({"q"}));
  EXPECT_EQ(alone.positional(), Words({"-"}));
  Scan dashes({"prog", "x", "-q", "--", "-z"});  // "--" ends the scan
  EXPECT_EQ(dashes.seen, Words({"q"}));
  EXPECT_EQ(dashes.positional(), Words({"-z", "x"}));

  setenv("POSIXLY_CORRECT", "1", 1);
  Scan posix({"prog", "cache", "-q"});
  unsetenv("POSIXLY_CORRECT");
  EXPECT_TRUE(posix.seen.empty());
  EXPECT_EQ(posix.positional(), Words({"cache", "-q"}));
  Scan plus({"prog", "-q", "cache", "-z"}, "+qz");
  EXPECT_EQ(plus.seen, Words({"q"}));
  EXPECT_EQ(plus.positional(), Words({"cache", "-z"}));
}

TEST(FreeGetopt, GroupedLettersArgumentsAndErrors) {
  EXPECT_EQ(Scan({"prog", "-qzA"}).seen, Words({"q", "z", "A"}));
  EXPECT_EQ(Scan({"prog", "-qi5", "-fname"}).seen, Words({"q", "i=5", "f=name"}));
  Scan dashArg({"prog", "-i", "-q", "-f", "--"});  // a word beginning with "-" is an argument too
  EXPECT_EQ(dashArg.seen, Words({"i=-q", "f=--"}));
  EXPECT_EQ(dashArg.positional(), Words({}));

  Scan missing({"prog", "-i"});
  EXPECT_EQ(missing.seen, Words({"?i"}));
  EXPECT_EQ(missing.err, "prog: option -i requires an argument \n");
  Scan lone({"prog", "-f", "-", "-q"});  // a lone "-" is no argument
  EXPECT_EQ(lone.seen, Words({"?f", "q"}));
  EXPECT_EQ(lone.positional(), Words({"-"}));
  Scan unknown({"prog", "-qm:"});
  EXPECT_EQ(unknown.seen, Words({"q", "?m", "?:"}));
  EXPECT_EQ(unknown.err, "prog: invalid option -m\nprog: invalid option -:\n");
  free_opterr = 0;
  Scan silent({"prog", "-m", "-i"});
  free_opterr = 1;
  EXPECT_EQ(silent.seen, Words({"?m", "?i"}));
  EXPECT_EQ(silent.err, "");
}

}  // namespace
