// The global directory and the names of the registry's files.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/utlstring.h"
#include "netinfo/netinfo.h"
#include "netinfo/netinfoprivate.h"

namespace {

char globalDir[1024];
bool globalDirKnown = false;

bool pathExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

}  // namespace

void NetInfoComputeGlobalDir(char* dest, size_t destSize) {
  const char* env = getenv("QUILLON_GLOBAL_DIR");
  if (env != nullptr) {
    char value[1025];
    UtlStrCpyCut(value, env, sizeof value);
    size_t len = strlen(value);
    if (len > 0 && len < 1022 && pathExists(value)) {
      snprintf(dest, destSize, "%s%s", value, value[len - 1] == '/' ? "" : "/");
      return;
    }
  }
  if (pathExists("/opt/quillon")) {
    if (getenv("QL_DISABLE_WARNING") == nullptr && pathExists("/usr/quillon")) {
      fprintf(stderr, "Warning: using '/opt/quillon' instead of '/usr/quillon' which also exists.\n");
      fprintf(stderr, "  Quillon will work best if only one exists.\n");
      fprintf(stderr, "  Releases before 5.0 will work only with '/usr/quillon'.\n");
      fprintf(stderr, "  Release 5.0 and later will work with either one.\n");
      fprintf(stderr, "  This warning can be disabled by setting env variable QL_DISABLE_WARNING.\n");
      fflush(stderr);
    }
    snprintf(dest, destSize, "/opt/quillon/");
  } else if (pathExists("/usr/quillon")) {
    snprintf(dest, destSize, "/usr/quillon/");
  } else {
    snprintf(dest, destSize, "/opt/quillon/");
  }
}

const char* NetInfoGlobalDir() {
  if (!globalDirKnown) {
    NetInfoComputeGlobalDir(globalDir, sizeof globalDir);
    globalDirKnown = true;
  }
  return globalDir;
}

void netInfoForgetGlobalDir() { globalDirKnown = false; }

BoolType NetInfoLockFileName(const char* name, char* result, size_t resultSize) {
  int n = snprintf(result, resultSize, "%slocks/%s..LCK", NetInfoGlobalDir(), name);
  return (n >= 0 && (size_t)n < resultSize) ? TRUE : FALSE;
}

BoolType NetInfoHostIdFileName(char* dest, size_t destSize) {
  int n = snprintf(dest, destSize, "%slocks/quillon.hostid", NetInfoGlobalDir());
  return (n >= 0 && (size_t)n < destSize) ? TRUE : FALSE;
}

void netInfoExpandFileName(const char* in, char* out, size_t outSize) {
  char expanded[2048];
  if (in[0] == '$') {
    // A leading "$NAME" or "${NAME}" is replaced by the variable's value; an
    // unset variable leaves the text as it is.
    const char* p = in + 1;
    bool braced = (*p == '{');
    if (braced) p++;
    const char* start = p;
    while ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '_') p++;
    std::string_view varName(start, (size_t)(p - start));
    if (braced && *p == '}') p++;
    char nameBuf[256];
    snprintf(nameBuf, sizeof nameBuf, "%.*s", (int)varName.size(), varName.data());
    const char* value = varName.empty() ? nullptr : getenv(nameBuf);
    if (value != nullptr && (!braced || p[-1] == '}')) {
      snprintf(expanded, sizeof expanded, "%s%s", value, p);
    } else {
      snprintf(expanded, sizeof expanded, "%s", in);
    }
  } else {
    snprintf(expanded, sizeof expanded, "%s", in);
  }
  const char* result = expanded;
  if (strncmp(result, "/tmp_mnt/", 9) == 0) result += 8;  // automounter prefix
  snprintf(out, outSize, "%s", result);
}
