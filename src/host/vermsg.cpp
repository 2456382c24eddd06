#include "host/vermsg.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "buildinfo.h"
#include "host/timeformat.h"
#include "host/utlexit.h"
#include "host/utlstring.h"

namespace {

const int BOX_INNER = 77;   // characters between the box's two edges
const int TEXT_WIDTH = 75;  // text of a message line, between "| " and " |"
const int BREAK_AT = 74;    // a line may break at a blank once it holds this many

constexpr char LEADING_EDGE[] = " _____________________________________________________________________________\n";
static_assert(sizeof(LEADING_EDGE) == 1 + BOX_INNER + 1 + 1, "the leading edge is a blank, 77 underscores and a newline");

void repeat(FILE* f, char c, int count) {
  for (int i = 0; i < count; i++) fputc(c, f);
}

void messageLine(FILE* f, const char* text, size_t len) {
  fputs("| ", f);
  fwrite(text, 1, len, f);
  if (len < (size_t)TEXT_WIDTH) repeat(f, ' ', TEXT_WIDTH - (int)len);
  if (len < (size_t)TEXT_WIDTH + 1)
    fputs(" |", f);
  else if (len == (size_t)TEXT_WIDTH + 1)
    fputc('|', f);
  fputc('\n', f);
}

// A name from the password database, or "???" when there is none.
std::string userName(uid_t uid) {
  struct passwd* entry = getpwuid(uid);
  return entry && entry->pw_name ? entry->pw_name : "???";
}

void ctimeText(time_t t, char* out, size_t size) {
  char text[64];
  if (!ctime_r(&t, text)) {
    UtlStrCpyCut(out, "???", size);
    return;
  }
  text[strcspn(text, "\n")] = '\0';
  UtlStrCpyCut(out, text, size);
}

void infoLine(FILE* f, const char* label, const char* value) {
  std::string line = std::string(label) + value;
  VerMessage(f, line.c_str());
}

}  // namespace

const char* VerQLVersionNumber() { return TALLY_VERSION_NUMBER; }

const char* VerQLVersion() { return TALLY_VERSION_NUMBER ", " TALLY_BUILD_DATE; }

const char* VerQLSerialNum() { return TALLY_BUILD_ID; }

const char* VerLeadingEdgeText() { return LEADING_EDGE; }

void VerLeadingEdge(FILE* f) { fputs(LEADING_EDGE, f); }

void VerDividerLine(FILE* f) {
  fputc('+', f);
  repeat(f, '-', BOX_INNER);
  fputs("+\n", f);
}

void VerEndEdge(FILE* f) {
  fputc('|', f);
  repeat(f, '_', BOX_INNER);
  fputs("|\n", f);
  fflush(f);
}

void VerMessage(FILE* f, const char* text) {
  const char* start = text;
  bool wroteLine = false;
  for (const char* p = text;; p++) {
    if (*p == '\0') {
      if (p > start || !wroteLine) messageLine(f, start, (size_t)(p - start));
      return;
    }
    if (*p == '\n' || (*p == ' ' && p - start >= BREAK_AT)) {
      messageLine(f, start, (size_t)(p - start));
      wroteLine = true;
      start = p + 1;  // the newline or blank at the break is dropped
    }
  }
}

void VerCenteredMessage(FILE* f, const char* text) {
  size_t len = strlen(text);
  if (len >= (size_t)TEXT_WIDTH) {
    VerMessage(f, text);
    return;
  }
  std::string centred((TEXT_WIDTH - len) / 2, ' ');
  centred += text;
  VerMessage(f, centred.c_str());
}

void VerInfo(FILE* f, const char* versionText) {
  char line[1024];
  infoLine(f, "   VERSION: ", versionText);
  infoLine(f, "     BUILD: ", VerQLSerialNum());
  infoLine(f, " BUILT FOR: ", "x86-64 (Solaris i386)");
  infoLine(f, "      MODE: ", "64 bit");

  struct utsname system;
  UTL_GUARANTEE(uname(&system) == 0);
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  snprintf(line, sizeof line, "RUNNING ON: %ld-CPU %s %s %s", cpus < 1 ? 1 : cpus, system.nodename, system.sysname,
           system.release);
  VerMessage(f, line);

  char date[64];
  ctimeText(time(nullptr), date, sizeof date);
  // getpid() cannot fail, so the form without the process id is never needed.
  snprintf(line, sizeof line, "PROCESS ID: %-8d  DATE: %s", (int)getpid(), date);
  VerMessage(f, line);

  uid_t realUid = getuid();
  uid_t effectiveUid = geteuid();
  std::string realName = userName(realUid);
  std::string effectiveName = userName(effectiveUid);
  char login[256];
  struct passwd* loginEntry = nullptr;
  if (getlogin_r(login, sizeof login) == 0) loginEntry = getpwnam(login);
  if (loginEntry) {
    snprintf(line, sizeof line, "  USER IDS: REAL=%s (%d) EFFECTIVE=%s (%d) LOGIN=%s (%d)", realName.c_str(),
             (int)realUid, effectiveName.c_str(), (int)effectiveUid, login, (int)loginEntry->pw_uid);
  } else {
    snprintf(line, sizeof line, "  USER IDS: REAL=%s (%d) EFFECTIVE=%s (%d)", realName.c_str(), (int)realUid,
             effectiveName.c_str(), (int)effectiveUid);
  }
  VerMessage(f, line);
  VerMessage(f, "BUILD TYPE: SLOW");

  // The format the archive header's time line uses (a refused QL_CFTIME is
  // reported there, once).
  char format[256];
  HostChooseTimeFormat(getenv("QL_CFTIME"), format, sizeof format);
  if (strcmp(format, "%m/%d/%Y %H:%M:%S %Z") != 0 && strcmp(format, "%m/%d/%y %H:%M:%S %Z") != 0) {
    VerDividerLine(f);
    snprintf(line, sizeof line, "DATEFORMAT: %s ", format);
    VerMessage(f, line);
  }
}

void VerBannerTally(FILE* f) {
  VerLeadingEdge(f);
  VerCenteredMessage(f, "Quillon Object-Oriented Data Management System");
  VerCenteredMessage(f, "Statistics monitor for shared page caches and their host");
  VerCenteredMessage(f, "It reads the cache's counters and never writes to the cache");
  VerDividerLine(f);
  VerMessage(f, "   PROGRAM: TALLY, Quillon Statistics Monitor");
  VerInfo(f, VerQLVersion());
}

void VerDashVPrint(FILE* f, const char* programName) {
  fprintf(f, "%s %s BUILD: %s\n", programName, VerQLVersionNumber(), VerQLSerialNum());
}

void VerProgramName(const char* argv0, char* out, size_t outSize) {
  const char* base = strrchr(argv0, '/');
  base = base ? base + 1 : argv0;
  const char* dot = strrchr(base, '.');
  size_t len = (dot && dot != base) ? (size_t)(dot - base) : strlen(base);
  if (outSize == 0) return;
  if (len >= outSize) len = outSize - 1;
  memcpy(out, base, len);
  out[len] = '\0';
}
