// Parsers of the per-process procfs files and the mapping to archive figures.
#include "hoststats/linux/procpid.h"

#include <cctype>
#include <cstring>

#include "hoststats/processstats.h"

namespace {

// A cursor over text that is not NUL-terminated.
struct Scan {
  const char* p;
  const char* end;

  void skipBlanks() {
    while (p < end && (*p == ' ' || *p == '\t')) p++;
  }
  // An unsigned decimal number; FALSE when there is none or it overflows.
  BoolType number(uint64_t* out) {
    skipBlanks();
    if (p >= end || !isdigit((unsigned char)*p)) return FALSE;
    uint64_t v = 0;
    while (p < end && isdigit((unsigned char)*p)) {
      uint64_t d = (uint64_t)(*p - '0');
      if (v > (UINT64_MAX - d) / 10) return FALSE;
      v = v * 10 + d;
      p++;
    }
    *out = v;
    return TRUE;
  }
  // A signed decimal number (a few stat fields, such as priority, may be negative).
  BoolType signedNumber() {
    skipBlanks();
    if (p < end && *p == '-') p++;
    uint64_t ignored;
    return number(&ignored);
  }
};

BoolType toPid(uint64_t v, int* out) {
  if (v == 0 || v > 0x7fffffffULL) return FALSE;
  *out = (int)v;
  return TRUE;
}

// Walks "Key:<blanks>value..." lines and hands each key and its value text on.
template <typename Fn>
void forEachKeyLine(const char* text, size_t len, Fn fn) {
  const char* p = text;
  const char* end = text + len;
  while (p < end) {
    const char* eol = (const char*)memchr(p, '\n', (size_t)(end - p));
    if (!eol) eol = end;
    const char* colon = (const char*)memchr(p, ':', (size_t)(eol - p));
    if (colon) fn(p, (size_t)(colon - p), Scan{colon + 1, eol});
    p = eol + 1;
  }
}

bool keyIs(const char* key, size_t keyLen, const char* want) {
  return strlen(want) == keyLen && memcmp(key, want, keyLen) == 0;
}

}  // namespace

BoolType parseProcPidStat(const char* text, size_t len, ProcPidStat* out) {
  memset(out, 0, sizeof(*out));
  const char* end = text + len;
  const char* open = (const char*)memchr(text, '(', len);
  // The command name may itself contain ")": the field ends at the last one.
  const char* close = nullptr;
  for (const char* p = end; p > text; p--) {
    if (p[-1] == ')') {
      close = p - 1;
      break;
    }
  }
  if (!open || !close || close < open) return FALSE;

  Scan s{text, open};
  uint64_t v;
  if (!s.number(&v) || !toPid(v, &out->pid)) return FALSE;
  size_t commLen = (size_t)(close - open - 1);
  if (commLen >= sizeof(out->comm)) commLen = sizeof(out->comm) - 1;
  memcpy(out->comm, open + 1, commLen);
  out->comm[commLen] = '\0';

  s = Scan{close + 1, end};
  s.skipBlanks();
  if (s.p >= end || isspace((unsigned char)*s.p)) return FALSE;
  out->state = *s.p++;
  // Fields 4 to 24. Those the kernel prints signed (ppid ... tpgid, cutime ...
  // nice, itrealvalue) are skipped with an optional minus sign: tpgid is -1
  // without a terminal, priority and nice are negative for favoured processes.
  for (int field = 4; field <= 24; field++) {
    bool isSigned = (field >= 4 && field <= 8) || (field >= 16 && field <= 19) || field == 21;
    if (isSigned) {
      if (!s.signedNumber()) return FALSE;
      continue;
    }
    if (!s.number(&v)) return FALSE;
    switch (field) {
      case 10: out->minflt = v; break;
      case 12: out->majflt = v; break;
      case 14: out->utime = v; break;
      case 15: out->stime = v; break;
      case 20: out->numThreads = v; break;
      case 22: out->startTime = v; break;
      case 23: out->vsize = v; break;
      case 24: out->rssPages = v; break;
      default: break;
    }
  }
  return TRUE;
}

BoolType parseProcPidStatus(const char* text, size_t len, ProcPidStatus* out) {
  memset(out, 0, sizeof(*out));
  out->euid = -1;
  BoolType havePid = FALSE;
  BoolType bad = FALSE;
  struct Field {
    const char* key;
    uint64_t* dest;
  };
  const Field fields[] = {
      {"VmData", &out->vmDataKb},
      {"VmStk", &out->vmStkKb},
      {"voluntary_ctxt_switches", &out->volCsw},
      {"nonvoluntary_ctxt_switches", &out->nonvolCsw},
  };
  forEachKeyLine(text, len, [&](const char* key, size_t keyLen, Scan value) {
    uint64_t v;
    if (keyIs(key, keyLen, "Pid")) {
      if (value.number(&v) && toPid(v, &out->pid)) havePid = TRUE; else bad = TRUE;
      return;
    }
    if (keyIs(key, keyLen, "Uid")) {  // real, effective, saved, file system
      uint64_t real;
      if (!value.number(&real) || !value.number(&v)) bad = TRUE;
      else if (v <= 0x7fffffffULL) out->euid = (int)v;  // larger ids cannot be listed
      return;
    }
    for (const Field& f : fields) {
      if (!keyIs(key, keyLen, f.key)) continue;
      if (value.number(&v)) *f.dest = v; else bad = TRUE;
      return;
    }
  });
  return havePid && !bad ? TRUE : FALSE;
}

BoolType parseProcPidIo(const char* text, size_t len, ProcPidIo* out) {
  memset(out, 0, sizeof(*out));
  struct Field {
    const char* key;
    uint64_t* dest;
    bool required;
  };
  const Field fields[] = {
      {"rchar", &out->rchar, true},           {"wchar", &out->wchar, true},
      {"syscr", &out->syscr, false},          {"syscw", &out->syscw, false},
      {"read_bytes", &out->readBytes, true},  {"write_bytes", &out->writeBytes, true},
      {"cancelled_write_bytes", &out->cancelledWriteBytes, false},
  };
  bool seen[sizeof(fields) / sizeof(fields[0])] = {};
  BoolType bad = FALSE;
  forEachKeyLine(text, len, [&](const char* key, size_t keyLen, Scan value) {
    for (size_t i = 0; i < sizeof(fields) / sizeof(fields[0]); i++) {
      if (!keyIs(key, keyLen, fields[i].key)) continue;
      uint64_t v;
      if (value.number(&v)) {
        *fields[i].dest = v;
        seen[i] = true;
      } else {
        bad = TRUE;
      }
      return;
    }
  });
  if (bad) return FALSE;
  for (size_t i = 0; i < sizeof(fields) / sizeof(fields[0]); i++) {
    if (fields[i].required && !seen[i]) return FALSE;
  }
  return TRUE;
}

BoolType parseProcPidSchedstat(const char* text, size_t len, ProcPidSchedstat* out) {
  memset(out, 0, sizeof(*out));
  Scan s{text, text + len};
  if (!s.number(&out->runNs) || !s.number(&out->waitNs)) return FALSE;
  if (!s.number(&out->slices)) out->slices = 0;
  return TRUE;
}

uint32_t cpuSharePercent(uint64_t prevTicks, uint64_t curTicks, int64_t prevNs, int64_t curNs,
                         long clockTicksPerSec, int cpuCount) {
  if (curNs <= prevNs || curTicks < prevTicks || clockTicksPerSec <= 0 || cpuCount <= 0) return 0;
  double cpuSec = (double)(curTicks - prevTicks) / (double)clockTicksPerSec;
  double machineSec = (double)(curNs - prevNs) / 1e9 * (double)cpuCount;
  double pct = cpuSec / machineSec * 100.0;
  return pct >= 100.0 ? 100u : (uint32_t)pct;
}

uint32_t memSharePercent(uint64_t rssKb, uint64_t memTotalKb) {
  if (memTotalKb == 0) return 0;
  return (uint32_t)((double)rssKb * 100.0 / (double)memTotalKb);
}

uint32_t ticksToMs(uint64_t ticks, long clockTicksPerSec) {
  if (clockTicksPerSec <= 0) return 0;
  return (uint32_t)((unsigned __int128)ticks * 1000 / (unsigned long)clockTicksPerSec);
}

void getPidExeName(char* dest, size_t size, const char* text) {
  if (size == 0) return;
  size_t cut = 0;
  while (text[cut] != '\0' && text[cut] != ':' && !isspace((unsigned char)text[cut]) &&
         !iscntrl((unsigned char)text[cut])) {
    cut++;
  }
  size_t start = 0;
  for (size_t i = 0; i < cut; i++) {
    if (text[i] == '/') start = i + 1;
  }
  size_t n = cut - start;
  if (n == 0) {
    text = "<unknown>";
    start = 0;
    n = strlen(text);
  }
  if (n >= size) n = size - 1;
  memcpy(dest, text + start, n);
  dest[n] = '\0';
}

void buildProcessStats(const ProcPidSample& sample, const ProcShareBasis& basis, HostProcessStatsSType* out) {
  using namespace procstat;
  memset(out, 0, sizeof(*out));
  uint32_t* v = out->values;
  const ProcPidStat& st = sample.stat;
  const ProcPidStatus& ss = sample.status;
  long hz = basis.clockTicksPerSec;

  v[UserTime] = ticksToMs(st.utime, hz);
  v[SysTime] = ticksToMs(st.stime, hz);
  v[MajFlt] = (uint32_t)st.majflt;
  v[MinorFaults] = (uint32_t)st.minflt;
  v[VolCSW] = (uint32_t)(sample.haveTasks ? sample.taskSums.volCsw : ss.volCsw);
  v[IVolCSW] = (uint32_t)(sample.haveTasks ? sample.taskSums.nonvolCsw : ss.nonvolCsw);
  if (sample.haveIo) {
    const ProcPidIo& io = sample.io;
    // The same block counts getrusage() reports: bytes from or for storage / 512.
    v[InputBlocks] = (uint32_t)(io.readBytes >> 9);
    uint64_t written = io.writeBytes > io.cancelledWriteBytes ? io.writeBytes - io.cancelledWriteBytes : 0;
    v[OutputBlocks] = (uint32_t)(written >> 9);
    v[CharacterIO] = (uint32_t)(io.rchar + io.wchar);
  }
  v[LwpTotalCount] = (uint32_t)st.numThreads;
  v[LwpCurCount] = (uint32_t)st.numThreads;
  v[HeapKBytes] = (uint32_t)ss.vmDataKb;
  v[StackKBytes] = (uint32_t)ss.vmStkKb;
  if (sample.haveTasks)
    v[WaitCpuTime] = (uint32_t)(sample.taskSums.waitNs / 1000000);
  else if (sample.haveSchedstat)
    v[WaitCpuTime] = (uint32_t)(sample.sched.waitNs / 1000000);
  v[ImageKBytes] = (uint32_t)(st.vsize >> 10);
  // stat's count of resident pages is status's VmRSS, and is read even when
  // status is not.
  uint64_t rssKb = st.rssPages * basis.pageKb;
  v[RSSKBytes] = (uint32_t)rssKb;

  uint64_t cpuTicks = st.utime + st.stime;
  if (basis.prevNs > 0) {
    v[PercentCpuUsed] = cpuSharePercent(basis.prevCpuTicks, cpuTicks, basis.prevNs, basis.nowNs, hz, basis.cpuCount);
  } else if (hz > 0) {
    // First read: the share over the life of the process.
    int64_t startNs = (int64_t)((double)st.startTime / (double)hz * 1e9);
    v[PercentCpuUsed] = cpuSharePercent(0, cpuTicks, startNs, basis.nowNs, hz, basis.cpuCount);
  }
  v[PercentMemoryUsed] = memSharePercent(rssKb, basis.memTotalKb);

  getPidExeName(out->name, sizeof(out->name), st.comm);
}
