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
  void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return (volatile int*)page;
}

void companionFaults() {
  HostSafeWrite(2, "companion faulting\n");
  *unmappedPage() = 1;
}

// What each child does first: a fresh exit table with one handler, a short
// debugger wait, and the fault handler installed.
void prepareChild(void (*companion)() = nullptr) {
  setenv("QL_CORE_TIME_OUT", "1", 1);
  UtlExitSetTestHook(nullptr);
  UtlExitInit();
  UtlAtExit(exitHandlerWrites);
  HostInstallFaultHandler(shutdownWrites, companion, TRUE);
}

// The sender line comes first and names where the signal came from.
TEST(HostSignalDeath, TerminationShutsDownRunsExitHandlersAndEndsWithFive) {
  EXPECT_EXIT(
      {
        prepareChild();
        kill(getpid(), SIGTERM);
        HostSafeWrite(2, "still running\n");
        _exit(9);
      },
      ExitedWithCode(5),
      "^Quillon signal handler: signal 15 \\(SIGTERM\\), received from process [0-9]+ userId [0-9]+\n  si_code: 0 "
      "at [0-9]+, SI_USER, signal from kill\\(2\\), sigsend\\(2\\), raise\\(3C\\) or abort\\(3C\\)\n(.|\n)*"
      "Quillon Signal Handler: Signal 15, SIGTERM, Software Termination Signal Received at [0-9]+ in thread "
      "[0-9]+\nshutdown ran\nexit handler ran\n$");
}

TEST(HostSignalDeath, SegmentationFaultReportsWaitsAndEndsWithThree) {
  EXPECT_EXIT(
      {
        prepareChild(companionWrites);
        *unmappedPage() = 1;
      },
      ExitedWithCode(3),
      "\n\nQuillon Signal Handler: Signal 11,  SIGSEGV Received \n  fault code: 2, SEGV_ACCERR, invalid permissions "
      "for mapped object, at address 0x[0-9a-f]+\nCall stack:\n(.|\n)*\n __________________________________ \n"
      "HostCoredump: Waiting 1 seconds for C Debugger to attach, process [0-9]+\ncompanion ran\n\nexit handler ran\n$");
}

TEST(HostSignalDeath, FaultInsideTheFaultPathEndsAsRecursive) {
  EXPECT_EXIT(
      {
        prepareChild(companionFaults);
        *unmappedPage() = 1;
      },
      ExitedWithCode(1), "companion faulting\n(.|\n)*companion faulting\n\n\nQuillon signal handler: Recursive SEGV "
                         "detected, attempting exit.\n$");
}

TEST(HostSignalDeath, UserSignalOnePrintsTheStackHangupAndBrokenPipeAreIgnoredAndTheProcessGoesOn) {
  EXPECT_EXIT(
      {
        prepareChild();
        kill(getpid(), SIGHUP);
        kill(getpid(), SIGPIPE);
        HostSafeWrite(2, "ignored\n");
        kill(getpid(), SIGUSR1);
        HostSafeWrite(2, "still running\n");
        _exit(0);
      },
      ExitedWithCode(0),
      "^ignored\n(.|\n)*Signal SIGUSR1 received printingStack ...\nCall stack:\n(.|\n)*still running\n$");
}

void interruptHandler(int) {
  HostSafeWrite(2, "interrupt handler ran\n");
  _exit(7);
}

TEST(HostEnableKbIntDeath, InterruptRunsTheHandlerOrNothingWhenIgnored) {
  EXPECT_EXIT(
      {
        signal(SIGINT, SIG_DFL);
        HostEnableKbInt(interruptHandler);
        raise(SIGINT);
        _exit(0);
      },
      ExitedWithCode(7), "interrupt handler ran");
  EXPECT_EXIT(
      {
        signal(SIGINT, SIG_IGN);
        HostEnableKbInt(interruptHandler);
        raise(SIGINT);
        HostSafeWrite(2, "interrupt ignored\n");
        _exit(0);
      },
      ExitedWithCode(0), "^interrupt ignored\n$");
}

// A keyboard interrupt's handler shuts down; a termination signal that arrives
// meanwhile waits until the handler lets it in, and then ends the process
// through its own path with status 5.
void interruptShutdownMeetsATermination(int) {
  kill(getpid(), SIGTERM);
  HostSafeWrite(2, "interrupt shutdown complete\n");
  HostReleaseTerminationSignals();
  HostSafeWrite(2, "termination not taken\n");
  UtlExit(0, FALSE);
}

TEST(HostEnableKbIntDeath, ATerminationDuringTheInterruptShutdownWaitsForItAndEndsWithFive) {
  EXPECT_EXIT(
      {
        prepareChild();
        signal(SIGINT, SIG_DFL);
        HostEnableKbInt(interruptShutdownMeetsATermination);
        raise(SIGINT);
        _exit(9);
      },
      ExitedWithCode(5),
      "^interrupt shutdown complete\n(.|\n)*SIGTERM, Software Termination Signal Received at [0-9]+ in thread "
      "[0-9]+\nshutdown ran\nexit handler ran\n$");
}

}  // namespace
