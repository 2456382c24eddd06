// tallyread: reads statistics archives as an operator would. Each command
// lives in its own file (cmd_*.cpp) over the reader library.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"

using namespace tallyread;

namespace {

struct CommandEntry {
  const char* name;
  int (*run)(const CommandLine&);
};

const CommandEntry COMMAND_TABLE[] = {
    {"check", checkCommand},     {"types", typesCommand}, {"fields", fieldsCommand}, {"csv", csvCommand},
    {"json", jsonCommand},       {"summary", summaryCommand}, {"top", topCommand},
    {"openmetrics", openMetricsCommand}, {"serve", serveCommand},
    {"chart", chartCommand},
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine line;
  std::string error;
  if (!parseCommandLine(args, &line, &error)) {
    reportProblem(error);
    fputs(USAGE, stderr);
    return EXIT_USAGE;
  }
  for (const CommandEntry& entry : COMMAND_TABLE)
    if (line.command == entry.name) return entry.run(line);
  return EXIT_USAGE;
}
