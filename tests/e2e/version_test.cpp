#include <gtest/gtest.h>

#include "support/runprocess.h"

TEST(VersionLine, DashVPrintsOneLineWithTheVersionNumber) {
  RunResult r = runProgram({TALLYSCOPE_BIN, "-v"});
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(splitLines(r.out).size(), 1u);
  EXPECT_EQ(r.out.rfind("tallyscope 3.2.8.1 BUILD: ", 0), 0u) << r.out;
}
