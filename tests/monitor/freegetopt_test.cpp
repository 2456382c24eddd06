#include "monitor/freegetopt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

// One whole scan of the words: the letters returned ("i=5" for an argument, "?m" for a
// refused letter), then the positional words and what went to standard error.
struct Case {
  Words words;
  Words seen, positional;
  std::string err = "";
  const char* optstring = "qzAf:i:";
  bool posixlyCorrect = false;
};

TEST(FreeGetopt, OptionsPositionalWordsAndErrors) {
  const Case cases[] = {
      {{"prog", "cache", "-q", "-i", "5", "other", "-z"}, {"q", "i=5", "z"}, {"cache", "other"}},  // in their order
      {{"prog", "-", "-q"}, {"q"}, {"-"}},                           // a lone "-" is a positional word
      {{"prog", "x", "-q", "--", "-z"}, {"q"}, {"-z", "x"}},          // "--" ends the scan
      {{"prog", "-q", "cache", "-z"}, {"q"}, {"cache", "-z"}, "", "+qz"},  // "+": the first word ends it
      {{"prog", "cache", "-q"}, {}, {"cache", "-q"}, "", "q", true},         // as "+"
      {{"prog", "-qzA", "-qi5", "-fname"}, {"q", "z", "A", "q", "i=5", "f=name"}, {}},
      {{"prog", "-i", "-q", "-f", "--"}, {"i=-q", "f=--"}, {}},       // a word beginning with "-" is an argument too
      {{"prog", "-i"}, {"?i"}, {}, "prog: option -i requires an argument \n"},
      {{"prog", "-f", "-", "-q"}, {"?f", "q"}, {"-"}, "prog: option -f requires an argument \n"},  // "-" is none
      {{"prog", "-qm:"}, {"q", "?m", "?:"}, {}, "prog: invalid option -m\nprog: invalid option -:\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.words));
    std::vector<const char*> argv;
    for (auto& word : c.words) argv.push_back(word.c_str());
    free_optind = 0;
    if (c.posixlyCorrect) setenv("POSIXLY_CORRECT", "1", 1);
    testing::internal::CaptureStderr();
    Words seen;
    for (int ch; (ch = free_getopt((int)argv.size(), argv.data(), c.optstring, -1)) != -1;)
      seen.push_back(std::string(1, (char)ch) + (ch == '?' ? std::string(1, (char)free_optopt) : "") +
                     (free_optarg ? "=" + std::string(free_optarg) : ""));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(Words(argv.begin() + free_optind, argv.end()), c.positional);
    unsetenv("POSIXLY_CORRECT");
  }
}

}  // namespace
