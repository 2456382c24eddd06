#include "selection.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

#include "fieldcatalogue.h"

namespace tallyread {

namespace {

const size_t FIRST_VALUE = 3;  // after the type number, the time and the instance
const size_t NAMES_SHOWN = 12;

bool isPattern(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

bool matches(const std::string& pattern, const std::string& text) {
  return fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

// "#N": the N-th value of a record, counting from 1.
bool valuePosition(const std::string& text, size_t* position) {
  uint64_t n;
  if (text.size() < 2 || text[0] != '#' || !parseUInt(text.substr(1), &n) || n < 1 || n > 1000000) return false;
  *position = (size_t)n - 1;
  return true;
}

size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); j++) {
      size_t up = row[j];
      bool same = tolower((unsigned char)a[i - 1]) == tolower((unsigned char)b[j - 1]);
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

const ArchiveType* findType(const ArchiveHeader& header, const std::string& text) {
  const ArchiveType* type = header.typeByName(text);
  uint64_t id;
  if (!type && parseUInt(text, &id)) type = header.typeById(id);
  return type;
}

}  // namespace

std::vector<std::string> closestFirst(const std::string& name, std::vector<std::string> candidates) {
  std::stable_sort(candidates.begin(), candidates.end(), [&](const std::string& a, const std::string& b) {
    return editDistance(name, a) < editDistance(name, b);
  });
  return candidates;
}

std::string unknownName(const std::string& what, const std::string& name, const std::vector<std::string>& candidates) {
  std::vector<std::string> sorted = closestFirst(name, candidates);
  std::string text = "no " + what + " '" + name + "'; the " + what + "s are (closest first): ";
  for (size_t i = 0; i < sorted.size() && i < NAMES_SHOWN; i++) text += (i ? ", " : "") + sorted[i];
  if (sorted.size() > NAMES_SHOWN) text += ", ... (" + std::to_string(sorted.size()) + " in all)";
  return text;
}

bool Selection::typeSelected(const ArchiveType& type) const {
  if (_options.types.empty()) return true;
  for (const std::string& wanted : _options.types) {
    uint64_t id;
    if (wanted == type.name || (parseUInt(wanted, &id) && id == type.id)) return true;
  }
  return false;
}

bool Selection::check(const ArchiveHeader& header, std::string* error) const {
  std::vector<std::string> typeNames;
  for (const ArchiveType& type : header.types) typeNames.push_back(type.name);
  for (const std::string& wanted : _options.types)
    if (!findType(header, wanted)) {
      *error = unknownName("type", wanted, typeNames);
      return false;
    }
  std::vector<std::string> fieldNames;
  for (const ArchiveType& type : header.types)
    if (typeSelected(type))
      for (size_t i = FIRST_VALUE; i < type.fields.size(); i++)
        if (std::find(fieldNames.begin(), fieldNames.end(), type.fields[i]) == fieldNames.end())
          fieldNames.push_back(type.fields[i]);
  for (const std::string& wanted : _options.fields) {
    size_t position;
    if (valuePosition(wanted, &position)) continue;
    bool found = false;
    for (const std::string& name : fieldNames) found = found || matches(wanted, name);
    if (!found) {
      *error = isPattern(wanted) ? "no field matches '" + wanted + "' in the types selected"
                                 : unknownName("field", wanted, fieldNames);
      return false;
    }
  }
  return true;
}

const FieldChoice& Selection::choose(size_t headerSerial, const ArchiveType& type) {
  auto key = std::make_pair(headerSerial, type.id);
  auto found = _choices.find(key);
  if (found != _choices.end()) return found->second;
  FieldChoice& choice = _choices[key];
  choice.typeSelected = typeSelected(type);
  if (!choice.typeSelected) return choice;
  auto add = [&](size_t position, const std::string& name) {
    if (std::find(choice.positions.begin(), choice.positions.end(), position) != choice.positions.end()) return;
    choice.positions.push_back(position);
    choice.names.push_back(name);
    choice.infos.push_back(findField(name));
  };
  if (_options.fields.empty()) {
    for (size_t i = FIRST_VALUE; i < type.fields.size(); i++) add(i, type.fields[i]);
    return choice;
  }
  for (const std::string& wanted : _options.fields) {
    size_t position;
    if (valuePosition(wanted, &position)) {
      add(position, position < type.fields.size() ? type.fields[position] : wanted);
      continue;
    }
    for (size_t i = FIRST_VALUE; i < type.fields.size(); i++)
      if (matches(wanted, type.fields[i])) add(i, type.fields[i]);
  }
  return choice;
}

bool Selection::instanceMatches(std::string_view instance) const {
  if (_options.instances.empty()) return true;
  std::string text(instance);
  for (const std::string& pattern : _options.instances)
    if (matches(pattern, text)) return true;
  return false;
}

bool Selection::timeMatches(double time) const {
  return (!_options.from || time >= *_options.from) && (!_options.to || time <= *_options.to);
}

std::optional<double> parseTimeArgument(const std::string& text) {
  uint64_t seconds;
  if (parseUInt(text, &seconds)) return (double)seconds;
  std::string rest = text;
  bool utc = !rest.empty() && (rest.back() == 'Z' || rest.back() == 'z');
  if (utc) rest.pop_back();
  for (char& c : rest)
    if (c == 'T') c = ' ';
  const char* const formats[] = {"%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%d"};
  for (const char* format : formats) {
    struct tm when;
    memset(&when, 0, sizeof when);
    const char* end = strptime(rest.c_str(), format, &when);
    if (!end || *end != '\0') continue;
    when.tm_isdst = -1;
    time_t t = utc ? timegm(&when) : mktime(&when);
    if (t == (time_t)-1) return std::nullopt;
    return (double)t;
  }
  return std::nullopt;
}

}  // namespace tallyread
