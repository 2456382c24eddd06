#include "host/utlexit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/hostsignal.h"

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

TEST(UtlExit, HandlersRunLastRegisteredFirstOnceAndReentryReturns) {
  UtlExitInit();
  UtlExitSetTestHook(recordStatus);
  UtlAtExit(handlerA);
  UtlAtExit(handlerReenter);
  UtlAtExit(handlerB);
  UtlExit(0, FALSE);
  EXPECT_EQ(trace, "BRA");  // the re-entering handler's own exit returned at once
  EXPECT_EQ(hookStatus, 0);
  EXPECT_EQ(UtlExitStatus(), 0);
  UtlExit(0, FALSE);  // the table is empty now
  EXPECT_EQ(trace, "BRA");
  UtlExitSetTestHook(nullptr);
}


using ::testing::ExitedWithCode;

// Status rules, each in a child process: a termination signal recorded in this
// process would change every later exit status.
TEST(UtlExitDeath, TerminationSignalTurnsZeroAndThreeIntoFive) {
  UtlExitSetTestHook(nullptr);
  EXPECT_EXIT(UtlExit(3, FALSE), ExitedWithCode(3), "");
  struct Case { int status; BoolType keepStatus; int expected; };
  for (const Case& c : {Case{0, FALSE, 5}, Case{3, FALSE, 5}, Case{5, FALSE, 5}, Case{3, TRUE, 3}}) {
    EXPECT_EXIT((HostIncrementSigTerm(), UtlExit(c.status, c.keepStatus)), ExitedWithCode(c.expected), "") << c.status;
  }
  // A termination signal taken while the handlers run counts as well.
  EXPECT_EXIT((UtlExitInit(), UtlAtExit(HostIncrementSigTerm), UtlExit(0, FALSE)), ExitedWithCode(5), "");
}

TEST(UtlExitDeath, GuaranteeFailureReportsFileAndLineAndEndsWithOne) {
  setenv("QL_CORE_TIME_OUT", "1", 1);
  EXPECT_EXIT(UTL_GUARANTEE(1 + 1 == 3), ExitedWithCode(1),
              "^\nHostCallDebugger: invoked at: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4} UTC\n"
              "UTL_GUARANTEE failed, File [^\n]*utlexit_test.cpp line [0-9]+\nCall stack:\n(.|\n)*"
              "Waiting for a C Debugger to attach, (.|\n)*, sleep time 1\n\\|_+ \n$");
  // No exit handlers run after a guarantee failure; after a termination signal the status is 5.
  EXPECT_EXIT(
      {
        UtlExitInit();
        UtlAtExit(handlerA);
        HostIncrementSigTerm();
        UTL_GUARANTEE(false);
      },
      ExitedWithCode(5), "sleep time 1\n\\|__________________________________ \n$");
}

}  // namespace
