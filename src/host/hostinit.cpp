#include "host/hostinit.h"

#include <fenv.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <clocale>

#include "host/hostsignal.h"
#include "host/hosttime.h"
#include "host/utlexit.h"

namespace {

std::atomic<int> hostInitDone{0};

struct LimitToRaise {
  int resource;
  const char* getError;
  const char* setError;
};

const LimitToRaise LIMITS[] = {
    {RLIMIT_CPU, "getrlimit(RLIMIT_CPU) error", "setrlimit(RLIMIT_CPU) error"},
    {RLIMIT_DATA, "getrlimit(RLIMIT_DATA) error", "setrlimit(RLIMIT_DATA) error"},
    {RLIMIT_FSIZE, "getrlimit(RLIMIT_FSIZE) error", "setrlimit(RLIMIT_FSIZE) error"},
};

void raiseSoftLimits() {
  for (const LimitToRaise& limit : LIMITS) {
    struct rlimit value;
    if (getrlimit(limit.resource, &value) != 0) HostCallDebuggerMsg_fl(limit.getError, __FILE__, __LINE__);
    value.rlim_cur = value.rlim_max;
    if (setrlimit(limit.resource, &value) != 0) HostCallDebuggerMsg_fl(limit.setError, __FILE__, __LINE__);
  }
}

}  // namespace

void HostInit() {
  if (hostInitDone.exchange(1) != 0) return;
  UtlExitInit();
  (void)HostGetNanoTime();  // the first clock reading maps the vDSO page

  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  raiseSoftLimits();
  fedisableexcept(FE_ALL_EXCEPT);

  setlocale(LC_ALL, "");
  // Numbers in the archive and in messages must keep the decimal point whatever
  // the user's locale says.
  setlocale(LC_NUMERIC, "C");

  signal(SIGPOLL, SIG_IGN);
}
