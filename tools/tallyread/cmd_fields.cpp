// fields: the types of an archive and their fields with kind, unit and
// meaning; with --catalogue, every field the monitor can write.
#include <cstdio>

#include "commands.h"
#include "fieldcatalogue.h"

namespace tallyread {

namespace {

void printField(const std::string& name, const FieldInfo* info) {
  if (info)
    printf("  %-40s %-14s %-10s %s\n", name.c_str(), kindName(info->kind), info->unit, info->meaning);
  else
    printf("  %-40s %-14s %-10s %s\n", name.c_str(), "?", "", "(not a field this reader knows)");
}

// The catalogue as the rows of a Markdown table (docs/fields.md holds them).
int printCatalogue() {
  printf("| Field | Kind | Unit | Width | Meaning |\n|---|---|---|---|---|\n");
  for (size_t i = 0; i < fieldCatalogueSize(); i++) puts(catalogueRow(fieldCatalogue()[i]).c_str());
  return 0;
}

}  // namespace

int fieldsCommand(const CommandLine& line) {
  if (line.catalogue) return printCatalogue();
  Series series(line.files, reportProblem);
  Selection selection(line.selection);
  int status;
  if (!checkSelection(series, selection, &status)) return status;
  const ArchiveHeader& header = *series.firstHeader();
  for (const ArchiveType& type : header.types) {
    if (!selection.choose(0, type).typeSelected) continue;
    printf("%s (type %llu, %zu fields%s)\n", type.name.c_str(), (unsigned long long)type.id, type.fields.size(),
           type.openEnded ? ", then one unnamed value per counter: #6, #7, ..." : "");
    for (const std::string& name : type.fields) printField(name, findField(name));
  }
  return 0;
}

}  // namespace tallyread
