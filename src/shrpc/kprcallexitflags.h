// The flags of a detach or exit request, passed to the detach routines.
#pragma once

#include "host/hosttypes.h"

class KprCallExitFlags {
 public:
  enum {
    FOR_SHUTDOWN = 1,
    QUIET = 2,
    MESSAGE_TO_KEEPER = 4,
    CLEAN_DETACH = 8,
    STOP_KEEPER_SUCCESS = 32,
  };
  int _bits;
  int _shutdownTimeout;  // seconds; -1 = none

  KprCallExitFlags() { init(); }
  void init() {
    _bits = 0;
    _shutdownTimeout = -1;
    enableCleanDetach();
    enableMessageToKeeper();
  }
  void setQuietTo(BoolType quiet) { quiet ? enableQuiet() : disableQuiet(); }
  void enableQuiet() { _bits |= QUIET; }
  void disableQuiet() { _bits &= ~QUIET; }
  void enableMessageToKeeper() { _bits |= MESSAGE_TO_KEEPER; }
  void enableCleanDetach() { _bits |= CLEAN_DETACH; }
  void setShutdownTimeoutTo(int seconds) { _shutdownTimeout = seconds; }
  BoolType isForShutdownEnabled() const { return (_bits & FOR_SHUTDOWN) ? TRUE : FALSE; }
  BoolType isQuietEnabled() const { return (_bits & QUIET) ? TRUE : FALSE; }
  BoolType cleanDetachEnabled() const { return (_bits & CLEAN_DETACH) ? TRUE : FALSE; }
  int shutdownTimeout() const { return _shutdownTimeout; }
};
