#include "host/utlexit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string trace;
int hookStatus = -1;

void handlerA() { trace += "A"; }
void handlerB() { trace += "B"; }
void handlerReenter() {
  trace += "R";
  UtlExit(3, FALSE);  // a second exit from inside a handler returns at once
}
void recordStatus(int status) { hookStatus = status; }

class UtlExitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UtlExitInit();
    trace.clear();
    hookStatus = -1;
    UtlExitSetTestHook(recordStatus);
  }
  void TearDown() override { UtlExitSetTestHook(nullptr); }
};

TEST_F(UtlExitTest, HandlersRunLastRegisteredFirstAndOnlyOnce) {
  UtlAtExit(handlerA);
  UtlAtExit(handlerB);
  UtlExit(0, FALSE);
  EXPECT_EQ(trace, "BA");
  EXPECT_EQ(hookStatus, 0);
  UtlExit(0, FALSE);  // the table is empty now
  EXPECT_EQ(trace, "BA");
}

TEST_F(UtlExitTest, ReentryFromAHandlerReturnsAndTheRestStillRun) {
  UtlAtExit(handlerA);
  UtlAtExit(handlerReenter);
  UtlAtExit(handlerB);
  UtlExit(0, FALSE);
  EXPECT_EQ(trace, "BRA");
  EXPECT_EQ(hookStatus, 0);
  EXPECT_EQ(UtlExitStatus(), 0);
}

}  // namespace
