// The manager's attach sequence, its detach and the liveness tests of the cache.

#include <cstdio>
#include <cstring>

#include "host/hostprocess.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "shrpc/hostshr.h"
#include "shrpc/kprcallexitflags.h"
#include "shrpc/shrpccmn.h"

namespace {

const int CACHE_INIT_TIMEOUT_MS = 2000;

void copyToErrBuf(TallyMgr* mgr, const char* text) {
  snprintf(mgr->errBuf, sizeof mgr->errBuf, "%s", text);
}

// Nothing of the segment is trusted before its size and layout version agree.
bool sizeAndLevelAgree(const ShrPcConfigSType& cfg, uintptr_t mappedSize, TallyMgr* mgr) {
  if (mappedSize != cfg.segmentSize) {
    snprintf(mgr->errBuf, sizeof mgr->errBuf,
             "   The actual size of the attached memory region, %lu, is not the same\n"
             "     as what is indicated in the configuration section of the attached\n"
             "     memory: %lu.  Shared memory is corrupt.\n",
             (unsigned long)mappedSize, (unsigned long)cfg.segmentSize);
    return false;
  }
  if (cfg.compatibilityLevel != SHRPC_COMPATIBILITY_LEVEL) {
    snprintf(mgr->errBuf, sizeof mgr->errBuf,
             "\n   Incompatible shared cache.  The shared cache monitor and this process\n"
             "   are from different versions of Quillon.\n"
             "     cachewarden process compatibility level = %d\n"
             "     This process' shared cache compatibility level = %d.\n",
             (int)cfg.compatibilityLevel, (int)SHRPC_COMPATIBILITY_LEVEL);
    return false;
  }
  return true;
}

// A pid of 0 or below names no process (a probe of 0 would ask about our own
// process group, and always succeed): the slot's process counts as gone, as in
// the lock-file registry.
bool slotPidGone(int pid) { return pid <= 0; }

}  // namespace

BoolType TallyMgr::AttachSharedCache() {
  ShrPcStateSType* view = shrpcPtr;
  UTL_GUARANTEE(view != nullptr);
  if (view->segAddr != nullptr) {
    HostShrMemAccessor acc(&shrMemState);
    basicDetach(acc, TRUE);
  }
  UTL_GUARANTEE(view->segAddr == nullptr);

  HostShrInit();
  shrMemState.initialize();
  HostShrMemAccessor acc(&shrMemState);

  SysErrorSType sErr;
  view->segAddr = (const char*)HostShrMemAttach(acc, view->locationStr, SHRPC_PAGE_SIZE, &sErr, TRUE);
  if (view->segAddr == nullptr) {
    copyToErrBuf(this, sErr.errMsg);
    return FALSE;
  }
  const ShrPcConfigSType* cfg = (const ShrPcConfigSType*)view->segAddr;
  const uintptr_t mappedSize = acc.state()->actualSegSize;

  // A first look, as the owner left the section before initialising it.
  ShrPcCopyConfig(view);
  if (!sizeAndLevelAgree(view->config, mappedSize, this)) return FALSE;
  if (!cfg->waitForCacheInit(CACHE_INIT_TIMEOUT_MS)) {
    printf("[ERROR]: Time out after 2 seconds waiting for cache initialization to complete.  Monitor died?\n");
    fflush(stdout);
    return FALSE;
  }
  // The copy that counts: taken once initialisation is seen, checked again (the
  // owner may have changed the section meanwhile), and the only one used from
  // here on.
  ShrPcCopyConfig(view);
  if (!sizeAndLevelAgree(view->config, mappedSize, this)) return FALSE;
  if (!ShrPcInit(view, cfg, FALSE)) {
    if (errBuf[0] == '\0') copyToErrBuf(this, "The shared cache's layout does not fit its segment.\n");
    return FALSE;
  }
  if (numAppStats > view->numSharedCounters) numAppStats = view->numSharedCounters;
  view->setCacheEnabled();
  return TRUE;
}

BoolType TallyMgr::basicDetach(HostShrMemAccessor& tallyAcc, BoolType quiet) {
  fprintf(stderr, "Tally is detaching from shared cache.\n");
  fflush(stderr);
  BoolType result = TRUE;
  ShrPcStateSType* view = shrpcPtr != nullptr ? shrpcPtr : &SharedPageCache;
  if (view->segAddr != nullptr) {
    KprCallExitFlags flags;
    flags.setQuietTo(quiet);
    SysErrorSType sErr;
    result = HostShrMemDetach(tallyAcc, &sErr, &flags);
    if (!result) {
      copyToErrBuf(this, sErr.errMsg);
      fprintf(stderr, "[Warning]: Error detaching Tally from SharedPageCache: %s\n", errBuf);
      fflush(stderr);
    }
  }
  view->clearCacheEnabled(__LINE__);
  view->segAddr = nullptr;
  return result;
}

BoolType TallyMgr::cachewardenDied() {
  const int pid = shrpcPtr->processEntry(0)->stats.processId;
  if (slotPidGone(pid)) return TRUE;
  if (HostProcessExists(pid)) return FALSE;
  if (!quietMode) {
    fprintf(stderr, "Shutting down due to loss of cachewarden process %d\n", pid);
    fflush(stderr);
  }
  return TRUE;
}

BoolType TallyMgr::shouldDie() {
  const ShrPcStateSType* view = shrpcPtr;
  if (view == nullptr || view->segAddr == nullptr || !view->cacheEnabled()) return TRUE;
  if (slotPidGone(view->processEntry(0)->stats.processId) || slotPidGone(view->processEntry(1)->stats.processId))
    return TRUE;
  return cachewardenDied();
}
