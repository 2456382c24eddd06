#include "shrpc/hostshrstate.h"

#include <cstring>

#include "host/utlexit.h"

void HostShrMemStateType::initialize() {
  memset(this, 0, sizeof *this);
  semArrayId = -1;
  UTL_GUARANTEE(pthread_mutex_init(&_mutex, nullptr) == 0);
}

HostShrMemAccessor::HostShrMemAccessor(HostShrMemStateType* s) : _state(s) {
  UTL_GUARANTEE(pthread_mutex_lock(&_state->_mutex) == 0);
}

HostShrMemAccessor::~HostShrMemAccessor() { UTL_GUARANTEE(pthread_mutex_unlock(&_state->_mutex) == 0); }
