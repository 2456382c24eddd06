#include "simoptions.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kHelp[] =
    "Usage: cachesim [options]\n"
    "Stands in for the owners of a shared page cache: registers a keeper and its cache\n"
    "in the lock directory of a global directory, creates the cache's System V shared\n"
    "memory segment, fills its process table with live child processes and updates\n"
    "their counters. Runs until SIGTERM or SIGINT, then removes the segment and the\n"
    "lock files and reaps its children.\n"
    "\n"
    "  --dir DIR               global directory (default: $QUILLON_GLOBAL_DIR)\n"
    "  --keeper NAME           keeper name (default simkeeper); the cache is NAME~<hostid>\n"
    "  --pgsvrs N              page servers named Aio... (default 2; odd ones have a space)\n"
    "  --other-pgsvrs N        page servers not named Aio... (default 1)\n"
    "  --pagemgr-threads N     keeper threads named pagemgrThread... (default 1)\n"
    "  --envoys N              envoys (default 4)\n"
    "  --envoy-sessions N      spread the envoys over N sessions (default: one each)\n"
    "  --no-odd-slots          leave out the entries that must get no record\n"
    "  --free-slots N          unused slots at the end of the table (default 2)\n"
    "  --counters N            shared application counters (default 8)\n"
    "  --interval MS           counter update interval (default 1000; 0: never)\n"
    "  --deterministic         counters follow the formula below\n"
    "  --init-delay MS         set initDone MS after the ready line (default 0)\n"
    "  --never-init            never set initDone\n"
    "  --compat-level N        compatibility level written (default 64940)\n"
    "  --bad-size              configuration's segmentSize 16384 above the real size\n"
    "  --kill-monitor-after MS SIGKILL the slot-0 process MS after the ready line\n"
    "  --owner-only            segment readable by its owner only (0600, default 0640)\n"
    "  --padded-hot-locks      hot spin locks take two 256-byte records each\n"
    "  --verbose               print a line per counter update\n"
    "  --exit-with-parent      stop as on SIGTERM when the parent process ends\n"
    "  --help                  this text\n"
    "\n"
    "Slots, in order: 0 the monitor (kind 1, \"cachewarden\"), 1 the keeper (kind 2, the\n"
    "keeper name), the pagemgrThread keeper threads (kind 2), the Aio page servers, the\n"
    "other page servers (kind 4), then, unless --no-odd-slots, three entries that get no\n"
    "record: one not in use (an envoy with a live pid in session 2), one in use with pid 0\n"
    "(kind 4, \"AioIdle\"), one in use with pid and session -1 (kind 8, \"envoyGone\"); then\n"
    "the envoys (kind 8, \"envoy<i>\", session 2 + i mod sessions), then the free slots.\n"
    "The monitor, keeper, threads and page servers have session -1.\n"
    "\n"
    "Output: one line per occupied slot\n"
    "  slot <i> inUse=<0|1> kind=<k> pid=<pid> session=<sid> name=<processName>\n"
    "then  cachesim ready cache=<name> key=0x<key> shmid=<id> pids=<pid>,<pid>,...\n"
    "then, as they happen: cachesim initDone, cachesim killed monitor pid=<pid>,\n"
    "cachesim tick <t> (--verbose). The current tick is also the unsigned 64-bit word\n"
    "at offset 0 of the cache state record.\n"
    "\n"
    "Deterministic counters (--deterministic): tick t starts at 0 and rises by one per\n"
    "update. In slot s, the 32-bit word w of the statistics block (w = 0 is processId,\n"
    "1 sessionId; the formula covers w >= 2 up to the kind's 32-bit count) holds\n"
    "  (s * 2^24 + w * 2^12 + (t mod 2^12)) xor (2^31 if w is odd), modulo 2^32\n"
    "and the 64-bit word j from the kind's first 64-bit statistic holds\n"
    "  v = (s + 1) * 2^40 + j * 2^20 + (t mod 2^20), negated when j mod 3 = 2.\n"
    "Shared counter c holds (c + 1) * 2^33 + c * 2^16 + (t mod 2^16), whose low 32 bits\n"
    "are c * 2^16 + (t mod 2^16). Without --deterministic the counters grow by small\n"
    "random steps.\n";

bool parseInt(const char* text, int minValue, int* out) {
  errno = 0;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < minValue || v > 100000000) return false;
  *out = (int)v;
  return true;
}

enum {
  OPT_DIR = 256, OPT_KEEPER, OPT_PGSVRS, OPT_OTHER_PGSVRS, OPT_PAGEMGR, OPT_ENVOYS,
  OPT_ENVOY_SESSIONS, OPT_NO_ODD, OPT_FREE, OPT_COUNTERS, OPT_INTERVAL, OPT_DETERMINISTIC,
  OPT_INIT_DELAY, OPT_NEVER_INIT, OPT_COMPAT, OPT_BAD_SIZE, OPT_KILL_MONITOR, OPT_OWNER_ONLY,
  OPT_PADDED, OPT_VERBOSE, OPT_EXIT_WITH_PARENT, OPT_HELP
};

const struct option kLongOptions[] = {
    {"dir", required_argument, nullptr, OPT_DIR},
    {"keeper", required_argument, nullptr, OPT_KEEPER},
    {"pgsvrs", required_argument, nullptr, OPT_PGSVRS},
    {"other-pgsvrs", required_argument, nullptr, OPT_OTHER_PGSVRS},
    {"pagemgr-threads", required_argument, nullptr, OPT_PAGEMGR},
    {"envoys", required_argument, nullptr, OPT_ENVOYS},
    {"envoy-sessions", required_argument, nullptr, OPT_ENVOY_SESSIONS},
    {"no-odd-slots", no_argument, nullptr, OPT_NO_ODD},
    {"free-slots", required_argument, nullptr, OPT_FREE},
    {"counters", required_argument, nullptr, OPT_COUNTERS},
    {"interval", required_argument, nullptr, OPT_INTERVAL},
    {"deterministic", no_argument, nullptr, OPT_DETERMINISTIC},
    {"init-delay", required_argument, nullptr, OPT_INIT_DELAY},
    {"never-init", no_argument, nullptr, OPT_NEVER_INIT},
    {"compat-level", required_argument, nullptr, OPT_COMPAT},
    {"bad-size", no_argument, nullptr, OPT_BAD_SIZE},
    {"kill-monitor-after", required_argument, nullptr, OPT_KILL_MONITOR},
    {"owner-only", no_argument, nullptr, OPT_OWNER_ONLY},
    {"padded-hot-locks", no_argument, nullptr, OPT_PADDED},
    {"verbose", no_argument, nullptr, OPT_VERBOSE},
    {"exit-with-parent", no_argument, nullptr, OPT_EXIT_WITH_PARENT},
    {"help", no_argument, nullptr, OPT_HELP},
    {nullptr, 0, nullptr, 0}};

}  // namespace

const char* SimHelpText() { return kHelp; }

int SimParseOptions(int argc, char** argv, SimOptions* opts) {
  const char* envDir = getenv("QUILLON_GLOBAL_DIR");
  if (envDir) opts->globalDir = envDir;
  optind = 1;
  for (;;) {
    int c = getopt_long(argc, argv, "", kLongOptions, nullptr);
    if (c == -1) break;
    bool ok = true;
    int compat = 0;
    switch (c) {
      case OPT_DIR: opts->globalDir = optarg; break;
      case OPT_KEEPER: opts->keeperName = optarg; ok = !opts->keeperName.empty(); break;
      case OPT_PGSVRS: ok = parseInt(optarg, 0, &opts->pgsvrs); break;
      case OPT_OTHER_PGSVRS: ok = parseInt(optarg, 0, &opts->otherPgsvrs); break;
      case OPT_PAGEMGR: ok = parseInt(optarg, 0, &opts->pageMgrThreads); break;
      case OPT_ENVOYS: ok = parseInt(optarg, 0, &opts->envoys); break;
      case OPT_ENVOY_SESSIONS: ok = parseInt(optarg, 1, &opts->envoySessions); break;
      case OPT_NO_ODD: opts->oddSlots = false; break;
      case OPT_FREE: ok = parseInt(optarg, 0, &opts->freeSlots); break;
      case OPT_COUNTERS: ok = parseInt(optarg, 0, &opts->sharedCounters); break;
      case OPT_INTERVAL: ok = parseInt(optarg, 0, &opts->intervalMs); break;
      case OPT_DETERMINISTIC: opts->deterministic = true; break;
      case OPT_INIT_DELAY: ok = parseInt(optarg, 0, &opts->initDelayMs); break;
      case OPT_NEVER_INIT: opts->neverInit = true; break;
      case OPT_COMPAT: ok = parseInt(optarg, 0, &compat); opts->compatLevel = (uint32_t)compat; break;
      case OPT_BAD_SIZE: opts->badSize = true; break;
      case OPT_KILL_MONITOR: ok = parseInt(optarg, 0, &opts->killMonitorAfterMs); break;
      case OPT_OWNER_ONLY: opts->ownerOnly = true; break;
      case OPT_PADDED: opts->paddedHotLocks = true; break;
      case OPT_VERBOSE: opts->verbose = true; break;
      case OPT_EXIT_WITH_PARENT: opts->exitWithParent = true; break;
      case OPT_HELP: fputs(kHelp, stdout); return -1;
      default: fputs("Try cachesim --help\n", stderr); return 2;
    }
    if (!ok) {
      fprintf(stderr, "cachesim: bad value '%s' for an option\n", optarg ? optarg : "");
      return 2;
    }
  }
  if (optind < argc) {
    fprintf(stderr, "cachesim: unexpected argument '%s'\n", argv[optind]);
    return 2;
  }
  if (opts->globalDir.empty()) {
    fputs("cachesim: no global directory (--dir or QUILLON_GLOBAL_DIR)\n", stderr);
    return 2;
  }
  if (opts->sharedCounters > 4096 || opts->pgsvrs + opts->otherPgsvrs + opts->pageMgrThreads +
                                             opts->envoys + opts->freeSlots > 120) {
    fputs("cachesim: at most 4096 counters and 120 processes\n", stderr);
    return 2;
  }
  return 0;
}
