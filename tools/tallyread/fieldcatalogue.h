// What a viewer knows about each field the monitor can write: its kind (how
// its values behave over time), its unit and what it means. The archive
// header gives names only; this catalogue gives them their sense.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallyread {

enum class FieldKind {
  RunningTotal,  // grows from some start; its rate per second is what matters
  CurrentValue,  // a level at the moment of the sample (or an average over the interval)
  Percentage,    // a whole percentage
  FloatPattern,  // the bits of a single-precision float written as an unsigned number
  Identifier,    // a number that names something (pid, session, state, time stamp)
  Text,          // the instance name
};

struct FieldInfo {
  const char* name;
  FieldKind kind;
  const char* unit;  // "ms", "KB", "pages", "count" ...; empty for identifiers and text
  bool wide;         // a signed 64-bit value; otherwise unsigned 32-bit (wraps at 2^32)
  const char* meaning;
};

// The entry of a field name; null for a name the monitor never writes.
const FieldInfo* findField(const std::string& name);
// Every entry, in catalogue order, and their number.
const FieldInfo* fieldCatalogue();
size_t fieldCatalogueSize();

const char* kindName(FieldKind kind);  // "running total", "current value" ...
// The entry as a row of the Markdown table of docs/fields.md.
std::string catalogueRow(const FieldInfo& field);

// The value a float-pattern field stands for: its 32-bit pattern read as a
// single-precision float. nullopt when it is wider than 32 bits or the pattern
// is not a finite number.
std::optional<double> floatFromPattern(uint64_t bits);

// The numeric value of a field's text as shown to a reader: a float pattern
// decoded, anything else as the integer written. nullopt for text or a value
// that is not a number.
std::optional<double> fieldValue(const FieldInfo* info, std::string_view text);

}  // namespace tallyread
