// Which records and which of their fields a command shows: types by name or
// number, instances and fields by name or shell pattern, a time range.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archivereader.h"

namespace tallyread {

struct SelectionOptions {
  std::vector<std::string> types;      // names or numbers; empty: every type
  std::vector<std::string> instances;  // shell patterns; empty: every instance
  std::vector<std::string> fields;     // names, shell patterns or #N (the N-th value); empty: every field
  std::optional<double> from, to;      // seconds since 1970, both ends included
};

// The fields chosen of one type: their positions in a record and their names.
struct FieldInfo;
struct FieldChoice {
  bool typeSelected = false;
  std::vector<size_t> positions;
  std::vector<std::string> names;
  std::vector<const FieldInfo*> infos;  // the catalogue entry of each name, or null
};

class Selection {
 public:
  explicit Selection(SelectionOptions options) : _options(std::move(options)) {}

  // Checks every type and field name given against a header. On an unknown
  // name, FALSE and a message that lists the names that exist, closest first.
  bool check(const ArchiveHeader& header, std::string* error) const;

  // The choice for a type; computed once per header (headerSerial) and type.
  const FieldChoice& choose(size_t headerSerial, const ArchiveType& type);
  bool instanceMatches(std::string_view instance) const;
  bool timeMatches(double time) const;
  const SelectionOptions& options() const { return _options; }

 private:
  bool typeSelected(const ArchiveType& type) const;
  SelectionOptions _options;
  std::map<std::pair<size_t, uint64_t>, FieldChoice> _choices;
};

// The candidates ordered by their likeness to the name, closest first.
std::vector<std::string> closestFirst(const std::string& name, std::vector<std::string> candidates);
// "no such X 'name'; the Xs are: a, b, c ..." with the closest names first.
std::string unknownName(const std::string& what, const std::string& name, const std::vector<std::string>& candidates);

// A time given on the command line: seconds since 1970, or a local date and
// time "YYYY-MM-DD[ HH:MM[:SS]]" (also with a T between, and a Z for UTC).
std::optional<double> parseTimeArgument(const std::string& text);

}  // namespace tallyread
