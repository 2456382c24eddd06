#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "monitor/tallymgr.h"

namespace {

// (A name with no keeper before its "~" is refused end to end.)
TEST(ResolveCacheNameTest, ACacheNameIsUsedUnchangedAndNamesItsKeeperAnEmptyNameIsRefused) {
  auto mgr = std::make_unique<TallyMgr>();
  mgr->init();
  std::string out;
  auto resolve = [&](const std::string& name) {
    snprintf(mgr->cacheName, sizeof mgr->cacheName, "%s", name.c_str());
    testing::internal::CaptureStdout();
    bool ok = mgr->resolveCacheName() != FALSE;
    out = testing::internal::GetCapturedStdout();
    return ok;
  };
  ASSERT_TRUE(resolve("keeper7~1f2e"));
  EXPECT_STREQ(mgr->cacheName, "keeper7~1f2e");
  EXPECT_STREQ(mgr->keeperName, "keeper7");
  EXPECT_EQ(out, "");
  ASSERT_TRUE(resolve("a~b~c"));  // the keeper part ends at the first "~"
  EXPECT_STREQ(mgr->keeperName, "a");
  EXPECT_FALSE(resolve(""));
  EXPECT_EQ(out, "[ERROR]: A keeper name or cache name must be specified\n");
}

}  // namespace
