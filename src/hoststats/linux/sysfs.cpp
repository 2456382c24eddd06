#include "hoststats/linux/sysfs.h"

#include <cerrno>
#include <cstdlib>

bool sysBlockIsDisk(const ProcFiles& files, const std::string& name) { return files.exists("/sys/block/" + name); }

bool sysBlockHasErrorCounter(const ProcFiles& files, const std::string& disk) {
  return files.exists("/sys/block/" + disk + "/device/ioerr_cnt");
}

bool readDiskErrorCount(ProcFiles& files, const std::string& disk, uint64_t* count, ProcError* error) {
  const std::string rel = "/sys/block/" + disk + "/device/ioerr_cnt";
  const std::string* text = files.read(rel, false, error);
  if (text == nullptr) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(text->c_str(), &end, 0);
  while (end && (*end == '\n' || *end == ' ')) end++;
  if (errno != 0 || end == text->c_str() || end == nullptr || *end != '\0')
    return files.parseFailed(rel, "not a number", error);
  *count = v;
  return true;
}

bool sysNetIsLoopback(ProcFiles& files, const std::string& name) {
  ProcError ignored;
  const std::string* type = files.read("/sys/class/net/" + name + "/type", false, &ignored);
  if (type == nullptr) return name == "lo";
  return *type == "772\n" || *type == "772";
}
