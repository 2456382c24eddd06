#include "hoststats/linux/proccount.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/runprocess.h"

namespace {

class ProcCountTest : public testing::Test {
 protected:
  void mkdirs(std::initializer_list<const char*> names) {
    for (const char* n : names) ASSERT_EQ(mkdir((dir.path() + "/" + n).c_str(), 0755), 0) << n;
  }
  uint64_t count(ProcProcessCounter& c) {
    uint64_t n = 0;
    int err = 0;
    EXPECT_TRUE(c.count(&n, &err)) << err;
    return n;
  }
  TempDir dir;
};

// A directory whose link count follows its subdirectories (as procfs's root
// does): after one walk the counter reads the link count, and processes that
// come and go are still counted right. A numeric entry that is no directory adds
// no link: the link count and the walk disagree, so every count walks.
TEST_F(ProcCountTest, FollowsTheLinkCountOnlyOnceAWalkAgrees) {
  mkdirs({"1", "42", "self", "sys"});
  writeFileText(dir.path() + "/loadavg", "0.00 0.00 0.00 1/2 3\n");
  ProcProcessCounter c(dir.path());
  EXPECT_EQ(count(c), 2u);
  struct stat st;
  ASSERT_EQ(stat(dir.path().c_str(), &st), 0);
  if (st.st_nlink == 1) GTEST_SKIP() << "directories of this file system carry no subdirectory links";
  EXPECT_TRUE(c.trustsLinkCount());
  mkdirs({"4242", "4243"});
  EXPECT_EQ(count(c), 4u);
  ASSERT_EQ(rmdir((dir.path() + "/1").c_str()), 0);
  EXPECT_EQ(count(c), 3u);

  writeFileText(dir.path() + "/7", "");
  ProcProcessCounter walking(dir.path());
  EXPECT_EQ(count(walking), 4u);  // the file is counted, as the walk finds it
  EXPECT_FALSE(walking.trustsLinkCount());
  mkdirs({"8"});
  EXPECT_EQ(count(walking), 5u);
  EXPECT_FALSE(walking.trustsLinkCount());
}

}  // namespace
