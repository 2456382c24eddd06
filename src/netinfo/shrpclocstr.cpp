// Location strings of shared page caches, and resolving a keeper name to the
// cache that serves it on this host.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/utlexit.h"
#include "host/utlstring.h"
#include "host/vermsg.h"
#include "netinfo/netinfo.h"
#include "netinfo/netinfoprivate.h"

namespace {

// The location buffer holds 1023 characters; a location must be shorter than 1022.
const size_t LOCATION_LIMIT = 1022;

// Address of a cache: its keeper name and the id of the host it runs on.
struct ShrPcCacheAddress {
  const char* keeperName;
  uint64_t hostId;
};

// Parses the host id part of a cache name: lowercase or uppercase hexadecimal,
// nothing else, nonzero. Registry names come from other processes.
bool parseHostId(const char* text, uint64_t* hostId) {
  if (text[0] == '\0' || strlen(text) > 16) return false;
  for (const char* p = text; *p; p++) {
    if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F'))) return false;
  }
  uint64_t value = strtoull(text, nullptr, 16);
  if (value == 0) return false;
  *hostId = value;
  return true;
}

int acceptCacheOfKeeper(int, const char* name, NetInfoResultEnum result, NetInfoSType* netInfo, void* userData) {
  ShrPcCacheAddress* address = static_cast<ShrPcCacheAddress*>(userData);
  if (netInfo->kind != NI_CACHE || result != NIRES_OK) return 1;
  if (strcmp(netInfo->version, VerQLVersionNumber()) != 0) return 1;
  char cacheName[256];
  UtlStrCpyCut(cacheName, name, sizeof cacheName);
  char* tilde = strchr(cacheName, '~');
  if (tilde == nullptr) return 1;
  *tilde = '\0';
  if (strcmp(cacheName, address->keeperName) != 0) return 1;
  uint64_t hostId = 0;
  if (!parseHostId(tilde + 1, &hostId)) return 1;
  address->hostId = hostId;
  return 0;
}

}  // namespace

BoolType ShrPcCacheLocationStr(const char* keeperName, uint64_t hostId, ShrPcLocationArgType* location) {
  UTL_GUARANTEE(hostId != 0);
  const char* bang = strrchr(keeperName, '!');
  const char* shortName = bang ? bang + 1 : keeperName;
  int n = snprintf(location->locationStr, LOCATION_LIMIT, "%s~%lx", shortName, (unsigned long)hostId);
  if (n < 0 || (size_t)n >= LOCATION_LIMIT) {
    location->locationStr[0] = '\0';
    fprintf(stderr, "ShrPcCacheLocationStr: location string name is too large\n");
    fflush(stderr);
    UTL_GUARANTEE(FALSE);
  }
  return TRUE;
}

BoolType NetInfoCacheNameForKeeper(const char* keeperName, ShrPcLocationArgType* location, SysErrorSType* err) {
  uint64_t hostId = 0;
  NetInfoSType netInfo;
  if (NetInfoFind(keeperName, nullptr, &netInfo, err, nullptr) == NIRES_OK) {
    if (!NetInfoGetUniqueHostId(&hostId, err, FALSE)) return FALSE;
  } else {
    ShrPcCacheAddress address = {keeperName, 0};
    int walked = NetInfoForeach(nullptr, acceptCacheOfKeeper, &netInfo, &address, err, nullptr);
    UTL_GUARANTEE(walked != -1);
    if (address.hostId == 0) {
      err->setErr(-1);
      netInfoSetMsg(err, "No keeper or cache for keeper named %s was found on this machine.",
               keeperName);
      return FALSE;
    }
    hostId = address.hostId;
  }
  UTL_GUARANTEE(hostId != 0);
  if (!ShrPcCacheLocationStr(keeperName, hostId, location)) {
    err->setErr(-1);
    netInfoSetMsg(err, "[ERROR]: ShrPcCacheLocationStr() failed\n");
    return FALSE;
  }
  return TRUE;
}

void NetInfoDemangleName(const char* name, char* dest, size_t destSize) {
  UtlStrCpyCut(dest, name, destSize);
  char* tilde = strchr(dest, '~');
  if (tilde != nullptr && tilde != dest) *tilde = '\0';
}
