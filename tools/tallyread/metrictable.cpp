#include "metrictable.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace tallyread {

namespace {

// The unit of a field as Prometheus wants it: the base unit, its factor, and
// the words that name the archive's unit at the end of a field name (left out,
// the base unit is written there instead).
struct UnitRule {
  const char* archiveUnit;
  const char* baseUnit;
  double scale;
  const char* trailingWords[4];
};

const UnitRule UNIT_RULES[] = {
    {"ms", "seconds", 0.001, {"_ms", "_msec", "_millis", nullptr}},
    {"s", "seconds", 1, {"_s", "_sec", "_secs", "_seconds"}},
    {"KB", "bytes", 1024, {"_k_bytes", "_kbytes", "_kb", "_k_b"}},
    {"MB", "bytes", 1048576, {"_m_bytes", "_mbytes", "_mb", "_m_b"}},
    {"bytes", "bytes", 1, {"_bytes", "_b", nullptr, nullptr}},
};

bool endsWith(const std::string& text, const char* tail) {
  size_t n = strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Invalid UTF-8 bytes become '?': both formats are UTF-8 text.
std::string validUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = (unsigned char)text[i];
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = length > 0 && i + length <= text.size();
    for (size_t k = 1; ok && k < length; k++) ok = ((unsigned char)text[i + k] >> 6) == 2;
    if (!ok) {
      out += '?';
      i++;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
}

std::string escapeHelp(const std::string& text, bool quotes) {
  std::string out;
  for (char c : validUtf8(text)) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '"' && quotes) out += "\\\"";
    else out += c;
  }
  return out;
}

}  // namespace

std::string snakeCase(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); i++) {
    unsigned char c = (unsigned char)name[i];
    if (!isalnum(c)) {
      if (!out.empty() && out.back() != '_') out += '_';
      continue;
    }
    if (isupper(c) && i > 0 && !out.empty() && out.back() != '_') {
      unsigned char before = (unsigned char)name[i - 1];
      bool nextLower = i + 1 < name.size() && islower((unsigned char)name[i + 1]);
      // The plural of an abbreviation stays with it: "CPUs" is "cpus".
      if (nextLower && name[i + 1] == 's' && (i + 2 == name.size() || !islower((unsigned char)name[i + 2])))
        nextLower = false;
      if (islower(before) || isdigit(before) || (isupper(before) && nextLower)) out += '_';
    }
    out += (char)tolower(c);
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

MetricShape metricShape(const std::string& typeName, const std::string& field, const FieldInfo* info) {
  MetricShape shape;
  std::string prefix = "tally_" + snakeCase(typeName);
  if (!field.empty() && field[0] == '#') {  // the unnamed values, told apart by an "index" label
    shape.family = prefix + "_value";
    shape.help = typeName + " value by its position in the record";
    return shape;
  }
  if (info && (info->kind == FieldKind::Identifier || info->kind == FieldKind::Text)) {
    shape.skipped = true;
    return shape;
  }
  std::string base = snakeCase(field);
  if (base.empty() || isdigit((unsigned char)base[0])) base = "field_" + base;
  if (info) {
    for (const UnitRule& rule : UNIT_RULES) {
      if (strcmp(info->unit, rule.archiveUnit) != 0) continue;
      std::string named = "_" + base;
      for (const char* word : rule.trailingWords)
        if (word && endsWith(named, word) && named.size() > strlen(word)) {
          named.resize(named.size() - strlen(word));
          break;
        }
      base = named.substr(1) + "_" + rule.baseUnit;
      shape.unit = rule.baseUnit;
      shape.scale = rule.scale;
    }
    shape.counter = info->kind == FieldKind::RunningTotal;
    shape.help = info->meaning;
  } else {
    shape.help = typeName + " field " + field;
  }
  // A name that ends as a counter's samples or a histogram's would be read as one.
  if (endsWith(base, "_total") || endsWith(base, "_count") || endsWith(base, "_sum") || endsWith(base, "_bucket"))
    base += "_value";
  shape.family = prefix + "_" + base;
  return shape;
}

std::string labelValue(const std::string& text) { return "\"" + escapeHelp(text, true) + "\""; }

std::string metricNumber(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[64];
  if (std::fabs(value) < 9007199254740992.0 && value == std::floor(value)) {
    snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  for (int digits = 1; digits <= 17; digits++) {
    snprintf(text, sizeof text, "%.*g", digits, value);
    if (strtod(text, nullptr) == value) break;
  }
  return text;
}

MetricTable::MetricTable(bool keepHistory, std::string cacheName)
    : _keepHistory(keepHistory), _cacheName(std::move(cacheName)) {}

void MetricTable::beginRecord(double time, const std::string& machine, const std::string& typeName,
                              const std::string& instance, const std::string& processId) {
  _time = time;
  _typeName = typeName;
  _labels = "host=" + labelValue(machine);
  if (!_cacheName.empty()) _labels += ",cache=" + labelValue(_cacheName);
  _labels += ",name=" + labelValue(instance);
  if (!processId.empty() && processId != "0") _labels += ",pid=" + labelValue(processId);
}

MetricTable::Family* MetricTable::familyFor(const std::string& field, const FieldInfo* info) {
  auto key = std::make_pair(_typeName, field[0] == '#' ? std::string("#") : field);
  auto known = _byField.find(key);
  if (known != _byField.end()) return known->second;
  MetricShape shape = metricShape(_typeName, field, info);
  Family* family = nullptr;
  if (!shape.skipped) {
    // Two fields whose names differ only in their unit's spelling would meet
    // in one name: the later one keeps its whole name.
    auto taken = _families.find(shape.family);
    if (taken != _families.end() && field[0] != '#') {
      shape.family = "tally_" + snakeCase(_typeName) + "_" + snakeCase(field) + (shape.unit[0] ? "_" : "") + shape.unit;
      taken = _families.find(shape.family);
    }
    if (taken == _families.end()) taken = _families.emplace(shape.family, Family{shape, {}}).first;
    family = &taken->second;
  }
  _byField[key] = family;
  return family;
}

void MetricTable::add(const std::string& field, const FieldInfo* info, double value) {
  if (field.empty()) return;
  Family* family = familyFor(field, info);
  if (!family) return;
  std::vector<std::pair<double, double>>& samples =
      family->series[field[0] == '#' ? _labels + ",index=" + labelValue(field.substr(1)) : _labels].samples;
  std::pair<double, double> sample(_time, value * family->shape.scale);
  if (_keepHistory || samples.empty()) samples.push_back(sample);
  else samples.back() = sample;
}

void MetricTable::writeOpenMetrics(FILE* out) {
  std::string text;
  for (auto& [name, family] : _families) {
    const MetricShape& shape = family.shape;
    text = "# TYPE " + name + (shape.counter ? " counter\n" : " gauge\n");
    if (shape.unit[0]) text += "# UNIT " + name + " " + shape.unit + "\n";
    text += "# HELP " + name + " " + escapeHelp(shape.help, true) + "\n";
    fputs(text.c_str(), out);
    std::string sampleName = name + (shape.counter ? "_total{" : "{");
    for (auto& [labels, series] : family.series) {
      // In time order, one value per time (the last written wins).
      std::stable_sort(series.samples.begin(), series.samples.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (size_t i = 0; i < series.samples.size(); i++) {
        if (i + 1 < series.samples.size() && series.samples[i + 1].first == series.samples[i].first) continue;
        text = sampleName + labels + "} " + metricNumber(series.samples[i].second) + " " +
               metricNumber(std::round(series.samples[i].first * 1000) / 1000) + "\n";
        fputs(text.c_str(), out);
      }
    }
  }
  fputs("# EOF\n", out);
}

std::string MetricTable::exposition() const {
  std::string text;
  for (const auto& [name, family] : _families) {
    const MetricShape& shape = family.shape;
    std::string sampleName = name + (shape.counter ? "_total" : "");
    text += "# HELP " + sampleName + " " + escapeHelp(shape.help, false) + "\n";
    text += "# TYPE " + sampleName + (shape.counter ? " counter\n" : " gauge\n");
    for (const auto& [labels, series] : family.series)
      if (!series.samples.empty())
        text += sampleName + "{" + labels + "} " + metricNumber(series.samples.back().second) + "\n";
  }
  return text;
}

size_t MetricTable::seriesCount() const {
  size_t count = 0;
  for (const auto& entry : _families) count += entry.second.series.size();
  return count;
}

}  // namespace tallyread
