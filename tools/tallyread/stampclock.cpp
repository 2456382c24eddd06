#include "stampclock.h"

#include <sys/stat.h>

#include <cstring>

#include "extract.h"

namespace tallyread {

namespace {

// Seconds a stamp that is a time may lie after a clock reading taken later:
// whole seconds cut off, a clock stepped now and then.
const double SLACK = 5;

}  // namespace

std::optional<double> headerTime(const std::string& text) {
  const char* const formats[] = {"%m/%d/%y %H:%M:%S", "%Y-%m-%d %H:%M:%S"};
  for (const char* format : formats) {
    struct tm when;
    memset(&when, 0, sizeof when);
    const char* rest = strptime(text.c_str(), format, &when);
    if (!rest) continue;
    while (*rest == ' ') rest++;
    std::string zone = rest;
    if (zone == "UTC" || zone == "GMT" || zone == "Z") return (double)timegm(&when);
    tzset();
    if (zone.empty() || zone == tzname[0] || zone == tzname[1]) {
      when.tm_isdst = -1;
      time_t local = mktime(&when);
      if (local != (time_t)-1) return (double)local;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

void StampClock::addSystem(File* file, uint32_t stamp, uint64_t runCount) {
  if (file->haveSystem && stamp == file->systemStamp + 1) {
    file->steps++;
    if (runCount == file->runCount) file->stillSteps++;
  }
  file->haveSystem = true;
  file->systemStamp = stamp;
  file->runCount = runCount;
}

void StampClock::add(const SeriesRecord& record) {
  if (record.headerSerial != _fieldsSerial) {  // a new header may put other types in the same places
    _fieldsSerial = record.headerSerial;
    _runCountFields.clear();
  }
  auto found = _runCountFields.find(record.type);
  if (found == _runCountFields.end())
    found = _runCountFields.emplace(record.type, record.type ? record.type->fieldIndex("SchedulerRunCount") : -1).first;
  add(record.path, *record.header, record.headerSerial, record.record.time, record.record.numbers.data(),
      record.record.numbers.size(), found->second);
}

void StampClock::add(const std::string* path, const ArchiveHeader& header, size_t headerSerial, uint32_t stamp,
                     const ArchiveNumber* numbers, size_t count, int runCountField) {
  if (path != _lastPath) {
    auto found = _files.find(path);
    if (found == _files.end()) {
      found = _files.emplace(path, File()).first;
      _order.push_back(path);
    }
    _lastPath = path;
    _lastFile = &found->second;
  }
  File& file = *_lastFile;
  if (stamp > file.lastStamp) file.lastStamp = stamp;
  if (runCountField >= 0 && (size_t)runCountField < count) addSystem(&file, stamp, numbers[runCountField].magnitude);
  if (headerSerial == _serial) return;
  // The first record under a header: stamps that are times start when the
  // header was written; sample counts start where the run's count stands.
  _serial = headerSerial;
  std::optional<double> written = headerTime(header.time);
  if (_first) {
    _first = false;
    _trusted = written && stamp + SLACK >= *written && stamp <= *written + SLACK;
    return;
  }
  if (_trusted && written && stamp > *written + SLACK && stamp - *written > file.ahead) file.ahead = stamp - *written;
}

std::vector<std::string> StampClock::findings(time_t now) const {
  std::vector<std::string> messages;
  for (const std::string* path : _order) {
    const File& file = _files.at(path);
    std::string after;
    double ahead = 0;
    struct stat st;
    if (file.steps >= 3 && file.stillSteps * 2 >= file.steps) {
      messages.push_back(*path + ": the time stamps count samples (an archive taken below one second: from " +
                         std::to_string(file.stillSteps) + " of " + std::to_string(file.steps) +
                         " samples to the next, its system record saw less than a second pass); give --interval-ms "
                         "to turn them into times");
      continue;
    }
    if (*path != "-" && stat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        file.lastStamp > (double)st.st_mtime + SLACK) {
      ahead = file.lastStamp - (double)st.st_mtime;
      after = "the time the file was written";
    } else if (file.lastStamp > (double)now + SLACK) {
      ahead = file.lastStamp - (double)now;
      after = "the clock";
    } else if (file.ahead > 0) {
      ahead = file.ahead;
      after = "the time their header was written";
    } else {
      continue;
    }
    messages.push_back(*path + ": the time stamps run " + formatNumber(ahead) + " s ahead of " + after +
                       ": they count samples (an archive taken below one second); give --interval-ms to turn "
                       "them into times");
  }
  return messages;
}

}  // namespace tallyread
