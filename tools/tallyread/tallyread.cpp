// tallyread: checks a statistics archive, lists its types, or extracts records
// as CSV. Plain and gzip archives are read alike.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archivereader.h"

using namespace tallyread;

namespace {

const int EXIT_BAD_ARCHIVE = 1;
const int EXIT_USAGE = 2;

const char* const USAGE =
    "usage: tallyread check FILE\n"
    "       tallyread types FILE\n"
    "       tallyread csv FILE --type TYPE [--instance NAME] [--fields A,B,...]\n"
    "  check   validates the header and every record; prints a summary\n"
    "  types   lists each type with its number, field count and record count\n"
    "  csv     prints time,instance and the named fields of the records of TYPE\n"
    "          (a name or a number); a field may also be given as #N, the N-th\n"
    "          value of the record counting from 1 (for unnamed values)\n";

int usage(const char* problem = nullptr) {
  if (problem) fprintf(stderr, "tallyread: %s\n", problem);
  fputs(USAGE, stderr);
  return EXIT_USAGE;
}

int badArchive(const std::string& path, const ArchiveError& err) {
  if (err.line > 0)
    fprintf(stderr, "tallyread: %s:%zu: %s\n", path.c_str(), err.line, err.reason.c_str());
  else
    fprintf(stderr, "tallyread: %s\n", err.reason.c_str());
  return EXIT_BAD_ARCHIVE;
}

// Opens the file and reads its header; the reason is printed on failure.
bool openArchive(ArchiveReader& reader, const std::string& path, ArchiveError* err) {
  return reader.openFile(path, err) && reader.readHeader(err);
}

// Walks every record, counting records per type and samples.
struct Census {
  size_t records = 0;
  size_t samples = 0;
  std::map<uint64_t, size_t> perType;
};

bool takeCensus(ArchiveReader& reader, Census* census, ArchiveError* err) {
  ArchiveRecord record;
  bool first = true;
  uint32_t lastTime = 0;
  while (reader.nextRecord(&record, err)) {
    census->records++;
    census->perType[record.typeId]++;
    if (first || record.time != lastTime) census->samples++;
    first = false;
    lastTime = record.time;
  }
  return err->empty();
}

int checkCommand(const std::string& path) {
  ArchiveReader reader;
  ArchiveError err;
  Census census;
  if (!openArchive(reader, path, &err) || !takeCensus(reader, &census, &err)) return badArchive(path, err);
  std::string headers = reader.headerCount() > 1 ? ", " + std::to_string(reader.headerCount()) + " headers" : "";
  printf("%s: ok: %zu records, %zu samples, %zu types%s\n", path.c_str(), census.records, census.samples,
         reader.header().types.size(), headers.c_str());
  return 0;
}

int typesCommand(const std::string& path) {
  ArchiveReader reader;
  ArchiveError err;
  Census census;
  if (!openArchive(reader, path, &err) || !takeCensus(reader, &census, &err)) return badArchive(path, err);
  printf("%-10s %-22s %7s %9s\n", "ID", "TYPE", "FIELDS", "RECORDS");
  for (const ArchiveType& type : reader.header().types) {
    std::string fields = std::to_string(type.fields.size()) + (type.openEnded ? "+" : "");
    printf("%-10llu %-22s %7s %9zu\n", (unsigned long long)type.id, type.name.c_str(), fields.c_str(),
           census.perType[type.id]);
  }
  return 0;
}

std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

std::string csvCell(const std::string& text) {
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quotedText = "\"";
  for (char c : text) {
    if (c == '"') quotedText += '"';
    quotedText += c;
  }
  return quotedText + "\"";
}

int csvCommand(const std::string& path, const std::string& typeArg, const std::string& instance,
               const std::string& fieldsArg) {
  ArchiveReader reader;
  ArchiveError err;
  if (!openArchive(reader, path, &err)) return badArchive(path, err);
  const ArchiveHeader& header = reader.header();
  const ArchiveType* type = header.typeByName(typeArg);
  uint64_t id;
  if (!type && parseUInt(typeArg, &id)) type = header.typeById(id);
  if (!type) {
    fprintf(stderr, "tallyread: %s has no type %s\n", path.c_str(), typeArg.c_str());
    return EXIT_USAGE;
  }

  std::vector<std::string> names;
  if (fieldsArg.empty())
    names.assign(type->fields.begin() + 3, type->fields.end());
  else
    names = splitCommas(fieldsArg);
  std::vector<size_t> positions;
  for (const std::string& name : names) {
    uint64_t position;
    if (name.size() > 1 && name[0] == '#' && parseUInt(name.substr(1), &position) && position >= 1) {
      positions.push_back((size_t)position - 1);
      continue;
    }
    int index = type->fieldIndex(name);
    if (index < 0) {
      fprintf(stderr, "tallyread: type %s has no field %s\n", type->name.c_str(), name.c_str());
      return EXIT_USAGE;
    }
    positions.push_back((size_t)index);
  }

  std::string line = "time,instance";
  for (const std::string& name : names) line += "," + csvCell(name);
  puts(line.c_str());
  ArchiveRecord record;
  while (reader.nextRecord(&record, &err)) {
    if (record.typeId != type->id || (!instance.empty() && record.instance() != instance)) continue;
    line = record.tokens[1] + "," + csvCell(record.instance());
    for (size_t position : positions) line += "," + (position < record.tokens.size() ? record.tokens[position] : "");
    puts(line.c_str());
  }
  if (!err.empty()) {
    fflush(stdout);
    return badArchive(path, err);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string command = argv[1];
  std::string path = argv[2];
  if (command == "check" && argc == 3) return checkCommand(path);
  if (command == "types" && argc == 3) return typesCommand(path);
  if (command != "csv") return usage(("unknown command or arguments: " + command).c_str());

  std::string typeArg, instance, fields;
  for (int i = 3; i < argc; i++) {
    std::string option = argv[i];
    if (i + 1 >= argc) return usage(("option " + option + " needs a value").c_str());
    std::string value = argv[++i];
    if (option == "--type")
      typeArg = value;
    else if (option == "--instance")
      instance = value;
    else if (option == "--fields")
      fields = value;
    else
      return usage(("unknown option " + option).c_str());
  }
  if (typeArg.empty()) return usage("csv needs --type");
  return csvCommand(path, typeArg, instance, fields);
}
