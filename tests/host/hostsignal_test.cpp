// The fault handler, run in death-test children: each child installs the
// handler, receives a signal and must end (or go on) as the host layer promises.
#include "host/hostsignal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "host/utlexit.h"

namespace {

using ::testing::ExitedWithCode;

void shutdownWrites() { HostSafeWrite(2, "shutdown ran\n"); }
void exitHandlerWrites() { HostSafeWrite(2, "exit handler ran\n"); }
void companionWrites() { HostSafeWrite(2, "companion ran\n"); }

volatile int* unmappedPage() {
  return (volatile int*)mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

void companionFaults() {
  HostSafeWrite(2, "companion faulting\n");
  *unmappedPage() = 1;
}

// Each child first: a fresh exit table with one handler, a short debugger wait, the fault handler.
void prepareChild(void (*companion)() = nullptr) {
  setenv("QL_CORE_TIME_OUT", "1", 1);
  UtlExitSetTestHook(nullptr);
  UtlExitInit();
  UtlAtExit(exitHandlerWrites);
  HostInstallFaultHandler(shutdownWrites, companion, TRUE);
}

// (Termination and interrupt, and a second signal during the shutdown, are shown end to end.)
TEST(HostSignalDeath, SegmentationFaultReportsWaitsAndEndsWithThree) {
  EXPECT_EXIT((prepareChild(companionWrites), *unmappedPage() = 1), ExitedWithCode(3),
              "\n\nQuillon Signal Handler: Signal 11,  SIGSEGV Received \n  fault code: 2, SEGV_ACCERR, invalid "
              "permissions for mapped object, at address 0x[0-9a-f]+\nCall stack:\n(.|\n)*\n _+ \nHostCoredump: "
              "Waiting 1 seconds for C Debugger to attach, process [0-9]+\ncompanion ran\n\nexit handler ran\n$");
}

TEST(HostSignalDeath, FaultInsideTheFaultPathEndsAsRecursive) {
  EXPECT_EXIT((prepareChild(companionFaults), *unmappedPage() = 1), ExitedWithCode(1),
              "companion faulting\n(.|\n)*companion faulting\n\n\nQuillon signal handler: Recursive SEGV "
              "detected, attempting exit.\n$");
}

void interruptHandler(int) { _exit(7); }

// Hangup and a broken pipe are ignored; an interrupt the shell has the program
// ignore (started in the background) stays ignored.
TEST(HostSignalDeath, HangupBrokenPipeAndAnIgnoredInterruptLeaveTheProcessRunning) {
  EXPECT_EXIT(
      {
        prepareChild();
        signal(SIGINT, SIG_IGN);
        HostEnableKbInt(interruptHandler);
        for (int sig : {SIGINT, SIGHUP, SIGPIPE}) kill(getpid(), sig);
        HostSafeWrite(2, "still running\n");
        _exit(0);
      },
      ExitedWithCode(0), "^still running\n$");
}

}  // namespace
