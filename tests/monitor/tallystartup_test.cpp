#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "monitor/tallymgr.h"

namespace {

class ResolveCacheNameTest : public ::testing::Test {
 protected:
  void SetUp() override { mgr->init(); }

  // Runs resolveCacheName on `name`; returns its result and captures stdout.
  bool resolve(const std::string& name) {
    strncpy(mgr->cacheName, name.c_str(), sizeof(mgr->cacheName) - 1);
    testing::internal::CaptureStdout();
    bool ok = mgr->resolveCacheName() != FALSE;
    out = testing::internal::GetCapturedStdout();
    return ok;
  }

  std::unique_ptr<TallyMgr> mgr{new TallyMgr};
  std::string out;
};

TEST_F(ResolveCacheNameTest, ACacheNameIsUsedUnchangedAndNamesItsKeeperEmptyNamesAreRefused) {
  ASSERT_TRUE(resolve("keeper7~1f2e"));
  EXPECT_STREQ(mgr->cacheName, "keeper7~1f2e");
  EXPECT_STREQ(mgr->keeperName, "keeper7");
  EXPECT_EQ(out, "");
  ASSERT_TRUE(resolve("a~b~c"));  // the keeper part ends at the first "~"
  EXPECT_STREQ(mgr->keeperName, "a");
  const std::string longKeeper(200, 'k');
  ASSERT_TRUE(resolve(longKeeper + "~ff"));
  EXPECT_EQ(std::string(mgr->keeperName), longKeeper.substr(0, 127));

  EXPECT_FALSE(resolve(""));
  EXPECT_EQ(out, "[ERROR]: A keeper name or cache name must be specified\n");
  EXPECT_FALSE(resolve("~abc"));
  EXPECT_EQ(out, "[ERROR]: The cache name '~abc' has no keeper name before the '~'\n");
}

}  // namespace
