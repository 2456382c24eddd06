#include <atomic>

#include "host/hostsignal.h"

namespace {
std::atomic<int> sigTermCount{0};
}

void HostIncrementSigTerm() { sigTermCount.fetch_add(1); }

BoolType HostGetSigTerm() { return sigTermCount.load() > 0 ? TRUE : FALSE; }
