// csv: the selected records as comma-separated values, one line each.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "extract.h"

namespace tallyread {

namespace {

std::string csvCell(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

int csvCommand(const CommandLine& line) {
  Series series(line.files, reportProblem);
  Selection selection(line.selection);
  int status;
  if (!checkSelection(series, selection, &status)) return status;

  // The columns: the chosen fields of the selected types under the first
  // header, in order; a field a later header adds has no column.
  const ArchiveHeader& header = *series.firstHeader();
  std::vector<std::string> columns;
  size_t typesSelected = 0;
  for (const ArchiveType& type : header.types) {
    const FieldChoice& choice = selection.choose(0, type);
    if (!choice.typeSelected) continue;
    typesSelected++;
    for (const std::string& name : choice.names)
      if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
  }
  bool typeColumn = typesSelected != 1;
  std::string text = typeColumn ? "time,type,instance" : "time,instance";
  for (const std::string& name : columns) text += "," + csvCell(name);
  puts(text.c_str());

  Extractor extractor(series, selection, ExtractOptions{line.rate, line.intervalMs});
  ShownRecord record;
  std::vector<const std::string*> row(columns.size());
  while (extractor.next(&record)) {
    std::fill(row.begin(), row.end(), nullptr);
    for (const Cell& cell : record.cells) {
      auto at = std::find(columns.begin(), columns.end(), *cell.name);
      if (at != columns.end()) row[(size_t)(at - columns.begin())] = &cell.text;
    }
    text = formatTime(record.time, line.time);
    if (typeColumn) text += "," + csvCell(record.type->name);
    text += "," + csvCell(*record.instance);
    for (const std::string* cell : row) text += "," + (cell ? csvCell(*cell) : std::string());
    puts(text.c_str());
  }
  return 0;
}

}  // namespace tallyread
