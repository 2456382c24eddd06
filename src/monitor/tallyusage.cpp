#include "monitor/tallyusage.h"

#include <string>

namespace {

const char* const USAGE_LINES[] = {
    "Usage: tallyscope [keepername | cacheName | -X] [ options ] ",
    "tallyscope - the Quillon statistics collection utility program.",
    "One of keepername, cacheName, or -X must be provided as the first command line argument.",
    "  keepername - name of the keeper that created the shared cache to be monitored.",
    "              The keeper may reside on the local host or a remote host.",
    "  cacheName - name of the shared cache in the form 'keepername~hostid'.  See output from",
    "              the qllist command to obtain the name of a shared page cache.",
    "Options may be any of the following:",
    "  -A                 Collect all available system statistics.",
    "  -C                 Collect system statistics for each individual CPU.",
    "  -D                 Collect system statistics for all disks and partitions",
    "  -f <fileName>      The output file name (default is tally<pid>.out).",
    "                     Use 'stdout' to send output to stdout instead of a file.",
    "  -i <interval>      The interval in seconds (default is 20).",
    "  -I <intervalMs>    The interval in milliseconds (default is 20000).",
    "  -J                 Sample the keeper, shared cache monitor, and page manager only.",
    "  -h <hours>         The number of hours (default is forever).",
    "  -n <numAppStats>   The number of shared counters (application statistics) to record (default is 0).",
    "  -N                 Collect system statistics for all network interfaces.",
    "  -p <sessionId>     A Quillon sessionId to monitor. May be repeated.",
    "                     The default is to monitor all sessions.",
    "  -P                 Sample the keeper, shared cache monitor and all AIO.",
    "                     page servers only.",
    "  -q                 Quiet mode.  Only print messages if an error occurs.",
    "  -Qpid1,pid2,...    Record statistics for a list of process IDs.",
    "  -r                 Restart a new output file when the current one completes.",
    "                     Each file will be given a unique name.",
    "                     Either the -h or -t switch is also required to control when a restart is done.",
    "  -s0                (deprecated) Same as -Y",
    "  -s1                (ignored)",
    "  -s2                (deprecated) Same as -D",
    "  -s3                (deprecated) same as -D -N",
    "  -s4                (deprecated) same as -A",
    "  -S                 Sample only the keeper and shared cache monitor.",
    "  -t <times>         The number of samples (default is forever).",
    "  -u <seconds>       The maximum number of seconds to wait before flushing the",
    "                     cached information to the output file (default is 60).",
    "                     If 0 then the flush will be done every interval.",
    "  -Uuid1,uid2,...    Record statistics for all processes owned 1 or more UNIX user IDs.",
    "  -v                 print version and exit.",
    "  -W                 Collect system statistics for system memory pages.",
    "  -X                 Run in host-only mode.  Sample host system statistics only and do not",
    "                     attach to a shared page cache.  May be combined with other",
    "                     flags EXCEPT: -m, -n, -J, -p, -P, -S, or -Y.",
    "  -Y                 Disable collection of all system stats, including per-process data.",
    "  -z                 Write the output in compressed gzip format.",
};
const int USAGE_LINE_COUNT = sizeof(USAGE_LINES) / sizeof(USAGE_LINES[0]);
static_assert(sizeof(USAGE_LINES) / sizeof(USAGE_LINES[0]) == 46, "the usage text has 46 lines");

// Lines per write: the title; the positional words; the options heading; and
// three groups of options.
const int WRITE_SIZES[] = {1, 6, 1, 5, 4, 29};

}  // namespace

void TallyWriteUsage(FILE* f) {
  int line = 0;
  for (int count : WRITE_SIZES) {
    std::string text;
    for (int i = 0; i < count && line < USAGE_LINE_COUNT; i++, line++) {
      text += USAGE_LINES[line];
      text += '\n';
    }
    fputs(text.c_str(), f);
  }
  fflush(f);
}
