#include "fieldcatalogue.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "archivereader.h"

namespace tallyread {

// The table itself (fieldtable.cpp).
extern const FieldInfo FIELD_TABLE[];
extern const size_t FIELD_TABLE_SIZE;

const FieldInfo* fieldCatalogue() { return FIELD_TABLE; }
size_t fieldCatalogueSize() { return FIELD_TABLE_SIZE; }

const FieldInfo* findField(const std::string& name) {
  static const std::unordered_map<std::string, const FieldInfo*> byName = [] {
    std::unordered_map<std::string, const FieldInfo*> map;
    for (size_t i = 0; i < FIELD_TABLE_SIZE; i++) map.emplace(FIELD_TABLE[i].name, &FIELD_TABLE[i]);
    return map;
  }();
  auto found = byName.find(name);
  return found == byName.end() ? nullptr : found->second;
}

const char* kindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::RunningTotal: return "running total";
    case FieldKind::CurrentValue: return "current value";
    case FieldKind::Percentage: return "percentage";
    case FieldKind::FloatPattern: return "float pattern";
    case FieldKind::Identifier: return "identifier";
    case FieldKind::Text: return "text";
  }
  return "?";
}

std::string catalogueRow(const FieldInfo& f) {
  return std::string("| ") + f.name + " | " + kindName(f.kind) + " | " + f.unit + " | " + (f.wide ? "64" : "32") +
         " | " + f.meaning + " |";
}

std::optional<double> floatFromPattern(uint64_t bits) {
  if (bits > UINT32_MAX) return std::nullopt;
  uint32_t word = (uint32_t)bits;
  float value;
  memcpy(&value, &word, sizeof value);
  if (!std::isfinite(value)) return std::nullopt;
  return (double)value;
}

std::optional<double> fieldValue(const FieldInfo* info, std::string_view text) {
  if (info && info->kind == FieldKind::Text) return std::nullopt;
  uint64_t u;
  int64_t i;
  if (parseUInt(text, &u)) {
    if (info && info->kind == FieldKind::FloatPattern) return floatFromPattern(u);
    return (double)u;
  }
  if (parseInt(text, &i)) return (double)i;
  return std::nullopt;
}

}  // namespace tallyread
