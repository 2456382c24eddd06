#include "host/hostprocess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(HostProcessExists, LiveUnpermittedAndReapedProcesses) {
  EXPECT_TRUE(HostProcessExists(getpid()));
  EXPECT_TRUE(HostProcessExists(1));  // exists even where signalling it is not permitted
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(HostProcessExists(child));
}

}  // namespace
