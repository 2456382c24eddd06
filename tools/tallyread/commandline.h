// The command line of tallyread: the command, its files and its options.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "selection.h"

namespace tallyread {

const int EXIT_BAD_ARCHIVE = 1;
const int EXIT_USAGE = 2;

enum class TimeFormat { Epoch, Iso, Local };
enum class TableFormat { Aligned, Csv, Json };

struct CommandLine {
  std::string command;
  std::vector<std::string> files;  // "-" is standard input
  SelectionOptions selection;
  bool rate = false;
  TimeFormat time = TimeFormat::Epoch;
  std::optional<double> intervalMs;
  std::string field;          // top: the field ranked
  size_t count = 10;          // top: how many instances
  std::string by = "mean";    // top: mean, max or last
  TableFormat format = TableFormat::Aligned;
  bool catalogue = false;     // fields: the whole catalogue instead of a file's fields
  std::string cacheName;      // openmetrics, serve: the "cache" label
  std::string listen;         // serve: ADDRESS:PORT
  std::string output;         // chart: the page written
};

// FALSE with the reason when the arguments do not fit the command.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine* line, std::string* error);

extern const char* const USAGE;

// The time column as asked: seconds since 1970, ISO 8601 in UTC, or local.
std::string formatTime(double seconds, TimeFormat format);

}  // namespace tallyread
