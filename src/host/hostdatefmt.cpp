#include "host/hostdatefmt.h"

#include <langinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

bool hasConversion(const char* fmt, const char* letters) {
  for (const char* p = fmt; *p; p++) {
    if (*p != '%') continue;
    const char* q = p + 1;
    if (*q == '%') {  // a literal percent sign
      p = q;
      continue;
    }
    // Skip the flag, width and modifier characters between % and the letter.
    while (*q && strchr("_-0^#", *q)) q++;
    while (*q >= '0' && *q <= '9') q++;
    if (*q == 'E' || *q == 'O') q++;
    if (*q == '\0') break;
    if (strchr(letters, *q)) return true;
    p = q;
  }
  return false;
}

char dateTimeFormat[256];
std::once_flag formatOnce;

void workOutFormat() {
  const char* requested = getenv("QL_CFTIME");
  if (requested && HostDateFormatUsable(requested) && strlen(requested) < sizeof dateTimeFormat) {
    snprintf(dateTimeFormat, sizeof dateTimeFormat, "%s", requested);
    return;
  }
  snprintf(dateTimeFormat, sizeof dateTimeFormat, "%.200s %%H:%%M:%%S %%Z", nl_langinfo(D_FMT));
  if (requested)
    fprintf(stderr, "[Warning]: QL_CFTIME '%s' is not a usable date and time format; using '%s'\n", requested,
            dateTimeFormat);
}

}  // namespace

BoolType HostDateFormatUsable(const char* fmt) {
  if (!fmt || !*fmt) return FALSE;
  time_t now = time(nullptr);
  struct tm local;
  if (!localtime_r(&now, &local)) return FALSE;
  char out[512];
  if (strftime(out, sizeof out, fmt, &local) == 0) return FALSE;
  bool hour = hasConversion(fmt, "H") || (hasConversion(fmt, "I") && hasConversion(fmt, "pP"));
  bool ok = hasConversion(fmt, "mbBh") && hasConversion(fmt, "d") && hour && hasConversion(fmt, "M") &&
            hasConversion(fmt, "S");
  return ok ? TRUE : FALSE;
}

const char* HostDateTimeFormat() {
  std::call_once(formatOnce, workOutFormat);
  return dateTimeFormat;
}
