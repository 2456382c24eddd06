// The command line: options into the manager's run settings and the writer's
// collection switches. A refused command line ends the run with the usage text.
#include <pwd.h>
#include <sys/types.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/hoststatwriter.h"
#include "host/hostprocess.h"
#include "host/utlexit.h"
#include "host/utlstring.h"
#include "host/vermsg.h"
#include "monitor/freegetopt.h"
#include "monitor/tallymgr.h"
#include "monitor/tallyusage.h"

namespace {

const char TALLY_OPTIONS[] = "ACDJNPSqrzf:h:i:I:n:p:Q:t:u:s:XU:WYv";

const int MIN_INTERVAL_MS = 10;
// -i seconds whose milliseconds do not fit an int take the largest whole-second
// interval that does.
const int MAX_INTERVAL_MS = INT_MAX / 1000 * 1000;
// Session ids share the sorted list's range (its sentinels are 0 and INT_MAX).
const int MAX_LIST_ENTRY = INT_MAX - 1;

// What an option's handler sees.
struct ArgContext {
  TallyMgr* mgr;
  const char* arg;       // the option's argument, or null
  const char* progPath;  // argv[0] as invoked
};

// Each handler applies one option and returns TRUE when it is refused.
typedef BoolType (*OptionHandler)(const ArgContext& c);

BoolType refusedInHostOnly(const ArgContext& c, const char* flag) {
  if (!c.mgr->hostStatsOnly) return FALSE;
  printHostOnlyError(flag);
  return TRUE;
}

BoolType setFileName(const ArgContext& c) {
  if (strlen(c.arg) >= sizeof(c.mgr->sampleFileName)) return TRUE;  // would not fit: refuse rather than cut
  UtlStrCpy(c.mgr->sampleFileName, c.arg, sizeof(c.mgr->sampleFileName));
  return FALSE;
}

BoolType setIntervalSeconds(const ArgContext& c) {
  int seconds = 0;
  if (!doAtoi(c.arg, &seconds)) {
    printArgError("sample interval", c.arg);
    return TRUE;
  }
  if (seconds < 0) {
    fprintf(stderr, "ERROR: negative sampling intervals not allowed\n");
    return TRUE;
  }
  long long ms = (long long)seconds * 1000;
  c.mgr->sampleIntervalMs = ms > MAX_INTERVAL_MS ? MAX_INTERVAL_MS : (int)ms;
  return FALSE;
}

BoolType setIntervalMs(const ArgContext& c) {
  if (!doAtoi(c.arg, &c.mgr->sampleIntervalMs)) {
    printArgError("sample interval (ms)", c.arg);
    return TRUE;
  }
  if (c.mgr->sampleIntervalMs < MIN_INTERVAL_MS) {
    fprintf(stderr, "ERROR: sampling intervals < 10 milliseconds not allowed\n");
    return TRUE;
  }
  return FALSE;
}

BoolType addSession(const ArgContext& c) {
  if (refusedInHostOnly(c, "-p")) return TRUE;
  int session = 0;
  if (!doAtoi(c.arg, &session)) return TRUE;
  if (session < 0 || session > MAX_LIST_ENTRY) {
    printArgError("session ID", c.arg);
    return TRUE;
  }
  c.mgr->sessionsToSample.add(session);
  return FALSE;
}

BoolType setLevel(const ArgContext& c) {
  int level = 0;
  if (!doAtoi(c.arg, &level)) return TRUE;
  switch ((unsigned)level) {  // unsigned: a negative level is out of range too
    case 0:
      return c.mgr->doDisableSystemStats();
    case 1:
      return FALSE;
    case 2:
      return c.mgr->doMonitorDisks();
    case 3:
      if (c.mgr->doMonitorDisks()) return TRUE;
      return c.mgr->doMonitorNetworks();
    case 4:
      return c.mgr->doAllSystemStats();
    default:
      return TRUE;
  }
}

BoolType printVersion(const ArgContext& c) {
  char name[1024];
  VerProgramName(c.progPath, name, sizeof name);
  VerDashVPrint(stdout, name);
  fflush(stdout);
  UtlExit(0, FALSE);
  return FALSE;  // reached only when a test intercepts the exit
}

struct OptionSType {
  char letter;
  OptionHandler apply;
};

const OptionSType OPTION_TABLE[] = {
    {'A', [](const ArgContext& c) { return c.mgr->doAllSystemStats(); }},
    {'C', [](const ArgContext& c) { return c.mgr->doMonitorCpus(); }},
    {'D', [](const ArgContext& c) { return c.mgr->doMonitorDisks(); }},
    {'f', setFileName},
    {'h', [](const ArgContext& c) { return doAtoi(c.arg, &c.mgr->sampleHours) ? FALSE : TRUE; }},
    {'i', setIntervalSeconds},
    {'I', setIntervalMs},
    {'J',
     [](const ArgContext& c) {
       if (refusedInHostOnly(c, "-J")) return TRUE;
       c.mgr->keeperOnly = TRUE;
       c.mgr->pageMgrOnly = TRUE;
       return FALSE;
     }},
    {'n',
     [](const ArgContext& c) {
       if (refusedInHostOnly(c, "-n")) return TRUE;
       return doAtoi(c.arg, &c.mgr->numAppStats) ? FALSE : TRUE;
     }},
    {'N', [](const ArgContext& c) { return c.mgr->doMonitorNetworks(); }},
    {'p', addSession},
    {'P',
     [](const ArgContext& c) {
       if (refusedInHostOnly(c, "-P")) return TRUE;
       c.mgr->pgsOnly = TRUE;
       c.mgr->keeperOnly = TRUE;
       return FALSE;
     }},
    {'q', [](const ArgContext& c) {
       c.mgr->quietMode = TRUE;
       return FALSE;
     }},
    {'Q', [](const ArgContext& c) { return c.mgr->processListOfPids(c.arg) ? FALSE : TRUE; }},
    {'r', [](const ArgContext& c) {
       c.mgr->restart = TRUE;
       return FALSE;
     }},
    {'s', setLevel},
    {'S',
     [](const ArgContext& c) {
       if (refusedInHostOnly(c, "-S")) return TRUE;
       c.mgr->keeperOnly = TRUE;
       return FALSE;
     }},
    {'t', [](const ArgContext& c) { return doAtoi(c.arg, &c.mgr->sampleNumTimes) ? FALSE : TRUE; }},
    {'u', [](const ArgContext& c) { return doAtoi(c.arg, &c.mgr->flushInterval) ? FALSE : TRUE; }},
    {'U', [](const ArgContext& c) { return c.mgr->processListOfUsers(c.arg) ? FALSE : TRUE; }},
    {'v', printVersion},
    {'W', [](const ArgContext& c) { return c.mgr->doMonitorSystemPages(); }},
    {'X', [](const ArgContext& c) { return c.mgr->doSetHostOnlyMode(); }},
    {'Y', [](const ArgContext& c) { return c.mgr->doDisableSystemStats(); }},
    {'z', [](const ArgContext& c) {
       c.mgr->isCompressed = TRUE;
       return FALSE;
     }},
};

const OptionSType* findOption(int letter) {
  for (const OptionSType& option : OPTION_TABLE)
    if (option.letter == letter) return &option;
  return nullptr;
}

// Shared walk of a -Q or -U list: copies it, empties `target`, skips the
// leading characters that cannot start an item, and hands each item between
// commas to `resolve`, which returns the id to add or -1 after its own message.
template <typename Resolve>
BoolType processList(const char* list, SortedList& target, int (*canStart)(int), const char* flag,
                     const char* noneFound, Resolve resolve) {
  char buffer[1024];
  UtlStrCpyCut(buffer, list, sizeof buffer);
  target.clear();
  char* start = buffer;
  while (*start != '\0' && !canStart((unsigned char)*start)) start++;
  if (*start == '\0') {
    printArgError(flag, noneFound);
    return FALSE;
  }
  char* save = nullptr;
  for (char* item = strtok_r(start, ",", &save); item != nullptr; item = strtok_r(nullptr, ",", &save)) {
    int id = resolve(item);
    if (id < 0) return FALSE;
    target.add(id);
  }
  target.sortIfNeeded();
  target.removeDups();
  return TRUE;
}

}  // namespace

// atoi's conversion, also failing on a number beyond int: with a 64-bit long
// such a number would otherwise come back silently wrapped.
BoolType doAtoi(const char* text, int* out) {
  errno = 0;
  long value = strtol(text, nullptr, 10);
  *out = (int)value;
  if (errno == 0 && (value < INT_MIN || value > INT_MAX)) errno = ERANGE;
  return errno == 0 ? TRUE : FALSE;
}

void printArgError(const char* what, const char* value) {
  fprintf(stderr, "[Error]: invalid argument: %s '%s'\n", what, value);
}

void printHostOnlyError(const char* flag) {
  fprintf(stderr, "[Error]: Invalid flag (%s) specified with host-only (-X) mode\n", flag);
}

int getIdForUser(char* name) {
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[1024];
  if (getpwnam_r(name, &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) return -1;
  if (found->pw_uid > (uid_t)MAX_LIST_ENTRY) return -1;  // outside what the lists can hold
  return (int)found->pw_uid;
}

BoolType TallyMgr::doMonitorCpus() {
  if (statWriter->disableSystemStats) return TRUE;
  statWriter->monitorCpus = TRUE;
  return FALSE;
}

BoolType TallyMgr::doMonitorDisks() {
  if (statWriter->disableSystemStats) return TRUE;
  statWriter->monitorDisks = TRUE;
  statWriter->monitorPartitions = TRUE;
  return FALSE;
}

BoolType TallyMgr::doMonitorNetworks() {
  if (statWriter->disableSystemStats) return TRUE;
  statWriter->monitorNetworks = TRUE;
  return FALSE;
}

BoolType TallyMgr::doMonitorSystemPages() {
  if (statWriter->disableSystemStats) return TRUE;
  statWriter->monitorSystemPages = TRUE;
  return FALSE;
}

BoolType TallyMgr::doAllSystemStats() {
  if (statWriter->disableSystemStats) return TRUE;
  statWriter->monitorDisks = TRUE;
  statWriter->monitorPartitions = TRUE;
  statWriter->monitorNetworks = TRUE;
  statWriter->monitorCpus = TRUE;
  statWriter->monitorSystemPages = TRUE;
  return FALSE;
}

BoolType TallyMgr::doDisableSystemStats() {
  if (hostStatsOnly) return TRUE;
  statWriter->disableSystemStats = TRUE;
  statWriter->monitorDisks = FALSE;
  statWriter->monitorPartitions = FALSE;
  statWriter->monitorNetworks = FALSE;
  statWriter->monitorCpus = FALSE;
  statWriter->monitorSystemPages = FALSE;
  return FALSE;
}

BoolType TallyMgr::doSetHostOnlyMode() {
  hostStatsOnly = validateHostOnlyMode();
  return hostStatsOnly ? FALSE : TRUE;
}

BoolType TallyMgr::validateHostOnlyMode() {
  if (keeperOnly) {
    printHostOnlyError("-S or -P or -J");
    return FALSE;
  }
  if (numAppStats != 0) {
    printHostOnlyError("-n");
    return FALSE;
  }
  if (!sessionsToSample.isEmpty()) {
    printHostOnlyError("-p");
    return FALSE;
  }
  if (statWriter->disableSystemStats) return FALSE;
  return TRUE;
}

BoolType TallyMgr::processListOfPids(const char* list) {
  return processList(list, pidsToMonitor, isdigit, "-Q", "No valid PIDs found", [](char* item) {
    int pid = 0;
    if (!doAtoi(item, &pid)) {
      printArgError("process ID list", item);
      return -1;
    }
    if (pid < 1 || !HostProcessExists(pid)) {
      printArgError("Process does not exist:", item);
      return -1;
    }
    return pid;
  });
}

BoolType TallyMgr::processListOfUsers(const char* list) {
  return processList(list, uidsToMonitor, isalpha, "-U", "No valid user IDs found", [](char* item) {
    int uid = getIdForUser(item);
    if (uid < 0) fprintf(stderr, "[Error]: Cannot resolve user named '%s'\n", item);
    return uid;
  });
}

void TallyMgr::tallyParseArgs(int argc, const char** argv) {
  BoolType refused = FALSE;
  ArgContext context{this, nullptr, argv[0]};

  free_optind = 0;  // a fresh scan from word 1
  int letter;
  while ((letter = free_getopt(argc, argv, TALLY_OPTIONS, -1)) != -1) {
    const OptionSType* option = findOption(letter);
    if (option == nullptr) {
      refused = TRUE;  // the scanner has written its message
    } else {
      context.arg = free_optarg;
      refused = option->apply(context);
    }
    if (refused) {
      // One more scan step, which reports a bad next word too; then stop.
      free_getopt(argc, argv, TALLY_OPTIONS, -1);
      break;
    }
  }

  if (!refused) {
    int positional = argc - free_optind;
    if (positional == 1) {
      if (hostStatsOnly)
        refused = TRUE;
      else
        UtlStrCpyCut(cacheName, argv[free_optind], sizeof cacheName);
    } else if (!hostStatsOnly) {
      refused = TRUE;
    }
    if (restart && sampleNumTimes == 0 && sampleHours == 0) refused = TRUE;
  }

  if (refused) {
    TallyWriteUsage(stdout);
    UtlExit(0, FALSE);
  }
}
