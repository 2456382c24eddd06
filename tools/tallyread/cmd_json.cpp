// json: the selected records as JSON Lines, one object per record with its
// time, type, instance and fields by name.
#include <cstdio>

#include "commands.h"
#include "extract.h"

namespace tallyread {

int jsonCommand(const CommandLine& line) {
  Series series(line.files, reportProblem);
  Selection selection(line.selection);
  int status;
  if (!checkSelection(series, selection, &status)) return status;
  Extractor extractor(series, selection, ExtractOptions{line.rate, line.intervalMs});
  ShownRecord record;
  std::string text;
  while (extractor.next(&record)) {
    std::string time = formatTime(record.time, line.time);
    text = "{\"time\":" + (line.time == TimeFormat::Epoch ? time : jsonString(time));
    text += ",\"type\":" + jsonString(record.type->name) + ",\"instance\":" + jsonString(*record.instance);
    for (const Cell& cell : record.cells) {
      text += "," + jsonString(*cell.name) + ":";
      if (cell.value)
        text += cell.text;
      else
        text += cell.text.empty() ? "null" : jsonString(cell.text);
    }
    text += "}";
    puts(text.c_str());
  }
  return 0;
}

}  // namespace tallyread
