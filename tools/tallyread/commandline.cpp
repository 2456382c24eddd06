#include "commandline.h"

#include "extract.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <map>

namespace tallyread {

const char* const USAGE =
    "usage: tallyread check FILE...\n"
    "       tallyread types FILE...\n"
    "       tallyread fields FILE... [--type T]...    |  tallyread fields --catalogue\n"
    "       tallyread csv FILE... [selection] [--rate] [--time epoch|iso|local] [--interval-ms MS]\n"
    "       tallyread json FILE... [selection] [--rate] [--time epoch|iso|local] [--interval-ms MS]\n"
    "       tallyread summary FILE... [selection] [--csv | --json] [--interval-ms MS]\n"
    "       tallyread chart FILE... -o PAGE.html [selection] [--interval-ms MS]\n"
    "       tallyread top FILE... --type T --field F [-n N] [--by mean|max|last] [--instance P]...\n"
    "       tallyread openmetrics FILE... [selection] [--cache NAME] [--interval-ms MS]\n"
    "       tallyread serve FILE --listen ADDRESS:PORT [selection] [--cache NAME]\n"
    "  selection: --type T (name or number), --instance PATTERN, --fields A,B,... (names,\n"
    "             shell patterns, or #N for the N-th value), --from TIME, --to TIME; each\n"
    "             may be repeated. TIME: seconds since 1970 or YYYY-MM-DD[THH:MM[:SS]][Z].\n"
    "  FILE: plain or gzip, '-' for standard input; several files, several headers in one\n"
    "        stream and concatenated gzip members are read as one series, in order.\n"
    "  check    validates every header and record of each file; prints a summary\n"
    "  types    lists each type with its number, field count and record count\n"
    "  fields   lists the fields of each type with their kind, unit and meaning\n"
    "  csv      one line per record: time, type (when several), instance, fields\n"
    "  json     one JSON object per record and line (JSON Lines)\n"
    "  --rate   running totals as rates per second since the previous record of the\n"
    "           same type and instance\n"
    "  --interval-ms  the sample interval of an archive taken below one second, whose\n"
    "           time stamps count samples from the second sampling began\n"
    "  summary  per type, instance and field: samples, minimum, mean, maximum and last\n"
    "           value; running totals as rates per second\n"
    "  top      the instances ranked by one field (rates for running totals)\n"
    "  openmetrics  every sample in the OpenMetrics text format, for backfilling Prometheus\n"
    "  serve    follows a growing archive and serves its newest samples at /metrics\n"
    "  --cache  the value of the \"cache\" label of every metric\n"
    "  chart    one HTML page of charts that opens offline in a browser; without a\n"
    "           selection, a dashboard of the host and the cache\n";

namespace {

enum Takes { FLAG, VALUE };

struct OptionSpec {
  const char* name;
  Takes takes;
  const char* commands;  // the commands that accept it, each between spaces
};

const OptionSpec OPTIONS[] = {
    {"--type", VALUE, " openmetrics serve fields csv json summary top chart "},
    {"--instance", VALUE, " openmetrics serve csv json summary top chart "},
    {"--fields", VALUE, " openmetrics serve csv json summary chart "},
    {"--from", VALUE, " openmetrics csv json summary top chart "},
    {"--to", VALUE, " openmetrics csv json summary top chart "},
    {"--rate", FLAG, " csv json "},
    {"--time", VALUE, " csv json "},
    {"--interval-ms", VALUE, " openmetrics csv json summary top chart "},
    {"--field", VALUE, " top "},
    {"-n", VALUE, " top "},
    {"--by", VALUE, " top "},
    {"--csv", FLAG, " summary "},
    {"--json", FLAG, " summary "},
    {"--catalogue", FLAG, " fields "},
    {"--cache", VALUE, " openmetrics serve "},
    {"--listen", VALUE, " serve "},
    {"-o", VALUE, " chart "},
};

const char* const COMMANDS = " check types fields csv json summary top openmetrics serve chart ";

void splitCommasInto(const std::string& text, std::vector<std::string>* out) {
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma - start);
    if (!part.empty()) out->push_back(part);
    if (comma == std::string::npos) return;
    start = comma + 1;
  }
}

bool apply(const std::string& option, const std::string& value, CommandLine* line, std::string* error) {
  auto bad = [&](const std::string& why) {
    *error = "option " + option + ": " + why;
    return false;
  };
  if (option == "--type") splitCommasInto(value, &line->selection.types);
  else if (option == "--instance") line->selection.instances.push_back(value);
  else if (option == "--fields") splitCommasInto(value, &line->selection.fields);
  else if (option == "--from" || option == "--to") {
    std::optional<double> t = parseTimeArgument(value);
    if (!t) return bad("'" + value + "' is not a time (seconds since 1970 or YYYY-MM-DD[THH:MM[:SS]][Z])");
    (option == "--from" ? line->selection.from : line->selection.to) = t;
  } else if (option == "--rate") line->rate = true;
  else if (option == "--time") {
    if (value == "epoch") line->time = TimeFormat::Epoch;
    else if (value == "iso") line->time = TimeFormat::Iso;
    else if (value == "local") line->time = TimeFormat::Local;
    else return bad("'" + value + "' is not one of epoch, iso, local");
  } else if (option == "--interval-ms") {
    uint64_t ms;
    if (!parseUInt(value, &ms) || ms == 0 || ms > 86400000) return bad("'" + value + "' is not a number of milliseconds");
    line->intervalMs = (double)ms;
  } else if (option == "--field") line->field = value;
  else if (option == "-n") {
    uint64_t n;
    if (!parseUInt(value, &n) || n == 0 || n > 1000000) return bad("'" + value + "' is not a positive count");
    line->count = (size_t)n;
  } else if (option == "--by") {
    if (value != "mean" && value != "max" && value != "last") return bad("'" + value + "' is not one of mean, max, last");
    line->by = value;
  } else if (option == "--csv") line->format = TableFormat::Csv;
  else if (option == "--json") line->format = TableFormat::Json;
  else if (option == "--catalogue") line->catalogue = true;
  else if (option == "--cache") line->cacheName = value;
  else if (option == "--listen") line->listen = value;
  else if (option == "-o") line->output = value;
  return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& args, CommandLine* line, std::string* error) {
  *line = CommandLine();
  if (args.empty()) {
    *error = "no command given";
    return false;
  }
  line->command = args[0];
  if (strstr(COMMANDS, (" " + line->command + " ").c_str()) == nullptr) {
    *error = "unknown command " + line->command;
    return false;
  }
  for (size_t i = 1; i < args.size(); i++) {
    std::string arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      line->files.push_back(arg);
      continue;
    }
    std::string value;
    bool inlineValue = false;
    size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inlineValue = true;
    }
    const OptionSpec* known = nullptr;
    for (const OptionSpec& o : OPTIONS)
      if (arg == o.name) known = &o;
    if (!known) {
      *error = "unknown option " + arg;
      return false;
    }
    if (strstr(known->commands, (" " + line->command + " ").c_str()) == nullptr) {
      *error = "option " + arg + " does not apply to " + line->command;
      return false;
    }
    if (known->takes == VALUE && !inlineValue) {
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!apply(arg, value, line, error)) return false;
  }
  if (line->files.empty() && !line->catalogue) {
    *error = line->command + " needs at least one FILE ('-' for standard input)";
    return false;
  }
  if (line->command == "chart" && line->output.empty()) {
    *error = "chart needs -o PAGE.html";
    return false;
  }
  if (line->command == "top" && (line->selection.types.size() != 1 || line->field.empty())) {
    *error = "top needs one --type and one --field";
    return false;
  }
  if (line->command == "serve" && (line->files.size() != 1 || line->files[0] == "-" || line->listen.empty())) {
    *error = "serve needs one FILE (not standard input) and --listen ADDRESS:PORT";
    return false;
  }
  return true;
}

std::string formatTime(double seconds, TimeFormat format) {
  double whole = std::floor(seconds);
  int ms = (int)std::lround((seconds - whole) * 1000);
  if (ms == 1000) {
    whole += 1;
    ms = 0;
  }
  char fraction[8] = "";
  if (ms) snprintf(fraction, sizeof fraction, ".%03d", ms);
  if (format == TimeFormat::Epoch) return formatNumber(whole) + fraction;
  time_t t = (time_t)whole;
  struct tm when;
  char text[64];
  if (format == TimeFormat::Iso) {
    gmtime_r(&t, &when);
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &when);
    return std::string(text) + fraction + "Z";
  }
  localtime_r(&t, &when);
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &when);
  return std::string(text) + fraction;
}

}  // namespace tallyread
