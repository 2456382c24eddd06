#include "fieldcatalogue.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/processstatnames.h"
#include "archive/statnames.h"
#include "extract.h"
#include "hoststats/hoststatnames.h"
#include "support/runprocess.h"

using namespace tallyread;

namespace {

struct NameTable {
  const char* type;
  const char* const* names;
  int count;
  int firstWide;  // the first position of the 64-bit values; count when there are none
};

// Every name the monitor can declare has an entry, and the cache's 64-bit
// counters (whose decreases are never wraps) are marked wide.
TEST(FieldCatalogue, EveryNameTheMonitorDeclaresHasAnEntry) {
  std::vector<NameTable> tables = {
      {"Shrpc", shrpcCtrNames, SHRPC_CTR_COUNT, 3 + 137}, {"Kpr", kprCtrNames, KPR_CTR_COUNT, 3 + 239},
      {"Pgsvr", pgsvrCtrNames, PGSVR_CTR_COUNT, PGSVR_CTR_COUNT}, {"Envoy", envoyCtrNames, ENVOY_CTR_COUNT, 3 + 169},
      {"Tally", tallyCtrNames, TALLY_CTR_COUNT, TALLY_CTR_COUNT},
      {"process figures", HostProcessStatNames, HOST_PROCESS_STAT_NAME_COUNT, HOST_PROCESS_STAT_NAME_COUNT}};
  for (int t = 0; t < HostStatTypeCount; t++)
    if (HostStatTypes[t].names)
      tables.push_back({HostStatTypes[t].typeName, HostStatTypes[t].names, HostStatTypes[t].count,
                        HostStatTypes[t].count});
  size_t names = 0;
  for (const NameTable& table : tables)
    for (int i = 0; i < table.count; i++, names++) {
      const FieldInfo* info = findField(table.names[i]);
      ASSERT_NE(info, nullptr) << table.type << " field " << table.names[i] << " has no catalogue entry";
      EXPECT_EQ(info->wide, i >= table.firstWide) << table.type << " " << table.names[i];
      EXPECT_STRNE(info->meaning, "") << table.names[i];
    }
  EXPECT_GT(names, 900u);
  EXPECT_EQ(findField("NoSuchCounter"), nullptr);
}

// docs/fields.md lists every entry as `tallyread fields --catalogue` prints it.
TEST(FieldCatalogue, TheDocumentationListsEveryEntry) {
  const std::string text = readFileText(TALLY_FIXTURES_DIR "/../../docs/fields.md");
  for (size_t i = 0; i < fieldCatalogueSize(); i++) {
    std::string row = catalogueRow(fieldCatalogue()[i]);
    EXPECT_NE(text.find("\n" + row + "\n"), std::string::npos) << "docs/fields.md lacks: " << row;
  }
}

TEST(FieldCatalogue, FloatPatternsAreShownAsTheirDecimalValues) {
  EXPECT_EQ(formatFloat(*floatFromPattern(1063190528)), "0.87109375");  // a load average of 223/256
  EXPECT_EQ(formatFloat(*floatFromPattern(0x3f5eb852)), "0.87");  // 0.87f: the fewest digits
  EXPECT_FALSE(floatFromPattern(UINT64_C(0x100000000)));  // wider than a float
  EXPECT_FALSE(floatFromPattern(0x7fc00000));               // not a number
  EXPECT_FALSE(floatFromPattern(0x7f800000));               // infinity
  const FieldInfo* load = findField("LoadAverage5");
  EXPECT_EQ(fieldValue(load, "1063190528"), 0.87109375);
  EXPECT_EQ(fieldValue(findField("FreeMemory"), "1063190528"), 1063190528.0);
  EXPECT_FALSE(fieldValue(load, "x"));
}

}  // namespace
