// Per-process state of the attached shared memory segment, and the scoped guard
// that every attach and detach holds while it works on it.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "host/hosttypes.h"

struct ShrMemSType {
  int id;                 // the shmid
  void* loc;              // address of the mapping, or null
  HostFnameStrType fname; // left empty by this program
};

struct HostShrMemStateType {
  uintptr_t actualSegSize;  // shm_segsz of the attached segment; 0 while detached
  uint32_t semArraySize;    // 0 in this program
  int32_t semArrayKey;      // 0 in this program
  int32_t semArrayId;       // -1: never attached by this program
  int32_t threadsAttached;  // attach count; 0 = detached
  pthread_mutex_t _mutex;
  bool shrMemIsLocked;      // always false on this platform
  ShrMemSType shrMemId;
  HostFnameStrType locStr;

  // Zeroes the record, semArrayId = -1, initialises the mutex.
  void initialize();
};

class HostShrMemAccessor {
 public:
  explicit HostShrMemAccessor(HostShrMemStateType* s);
  ~HostShrMemAccessor();
  HostShrMemAccessor(const HostShrMemAccessor&) = delete;
  HostShrMemAccessor& operator=(const HostShrMemAccessor&) = delete;
  HostShrMemStateType* state() const { return _state; }

 private:
  HostShrMemStateType* _state;
};
