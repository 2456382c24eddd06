#include "simchildren.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>

namespace {

void reapAll(int) {
  int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

[[noreturn]] void childMain(pid_t parent) {
  // Die with the simulator even when it is killed outright.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  prctl(PR_SET_NAME, "cachesim-proc");
  if (getppid() != parent) _exit(0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGALRM}) signal(sig, SIG_DFL);
  // Let go of the caller's pipes and files so that waiting readers see their end.
  int devNull = open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    dup2(devNull, 0);
    dup2(devNull, 1);
    dup2(devNull, 2);
    if (devNull > 2) close(devNull);
  }
  for (;;) pause();
}

}  // namespace

void SimInstallReaper() {
  struct sigaction sa = {};
  sa.sa_handler = reapAll;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  sigaction(SIGCHLD, &sa, nullptr);
}

pid_t SimSpawnChild() {
  pid_t parent = getpid();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) childMain(parent);
  return pid;
}

void SimKillChildren(const pid_t* pids, int count) {
  for (int i = 0; i < count; i++)
    if (pids[i] > 0) kill(pids[i], SIGKILL);
  for (int i = 0; i < count; i++)
    if (pids[i] > 0) waitpid(pids[i], nullptr, 0);  // ECHILD when already reaped
}
