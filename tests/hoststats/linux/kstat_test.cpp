#include "hoststats/linux/kstat.h"

#include <gtest/gtest.h>

#include <cstring>

#include "hoststats/fixturetree.h"

namespace {

std::unique_ptr<KstatCtl> openTree(const FixtureTree& tree) {
  std::string err;
  int errnum = 0;
  auto kc = KstatCtl::open(tree.root(), 4096, &err, &errnum);
  EXPECT_TRUE(kc) << err;
  return kc;
}

Kstat* find(KstatCtl& kc, const char* name) {
  for (Kstat* ks = kc.chain(); ks; ks = ks->next)
    if (strcmp(ks->name, name) == 0) return ks;
  return nullptr;
}

// (Which objects the chain holds and every figure they carry show in the host
// records of hoststats_test and the interval figures of systemstats_test.)
TEST(KstatTest, SysinfoAccumulatesOncePerElapsedSecondCarryingTheFraction) {
  FixtureTree tree;
  auto kc = openTree(tree);
  Kstat* si = find(*kc, "sysinfo");
  auto s = [si] { return static_cast<const KstatSysinfo*>(si->data); };
  ASSERT_NE(kc->read(si), -1);
  tree.setUptime("1010.50");  // 10.5 s later: 10 whole seconds
  ASSERT_NE(kc->read(si), -1);
  EXPECT_EQ(s()->updates, 10u);
  EXPECT_EQ(s()->runque, 30u);  // procs_running 3
  tree.setUptime("1011.00");    // the half second left over makes a whole one now
  ASSERT_NE(kc->read(si), -1);
  EXPECT_EQ(s()->updates, 11u);
}

TEST(KstatTest, ObjectsReadOneSampleFromOneReadingOfEachFile) {
  FixtureTree tree;
  auto kc = openTree(tree);
  Kstat* c0 = find(*kc, "cpu_stat0");
  Kstat* c1 = find(*kc, "cpu_stat1");
  ASSERT_NE(kc->read(c0), -1);
  // The file changes between the two CPUs of one sample: cpu1 still sees the
  // reading cpu0 took.
  tree.replaceLine("proc/stat", "cpu1 ", "cpu1 999 10 50 1000 20 0 0 0 0 0");
  ASSERT_NE(kc->read(c1), -1);
  EXPECT_EQ(static_cast<const KstatCpuStat*>(c1->data)->ticks[1], 210u);
  // A second read of cpu1 starts the next sample and reads the file again.
  ASSERT_NE(kc->read(c1), -1);
  EXPECT_EQ(static_cast<const KstatCpuStat*>(c1->data)->ticks[1], 1009u);
}

// A file that cannot be read or parsed fails the read with a message naming
// the file; the object keeps what it held.
TEST(KstatTest, BadFilesFailReadsAndKeepThePreviousData) {
  struct Case { const char *file, *content /* null: remove the file */, *object; };
  const Case cases[] = {
      {"proc/meminfo", "MemTotal: lots\n", "system_pages"},
      {"proc/meminfo", "MemFree: 1 kB\n", "vminfo"},
      {"proc/vmstat", "pgpgin 1\n", "cpu_stat0"},
      {"proc/loadavg", "0.1 0.2\n", "system_misc"},
      {"proc/uptime", nullptr, "sysinfo"},
      {"sys/block/sdb/device/ioerr_cnt", "many\n", "sdb,err"},
  };
  for (const Case& c : cases) {
    FixtureTree tree;
    auto kc = openTree(tree);
    Kstat* ks = find(*kc, c.object);
    ASSERT_NE(ks, nullptr) << c.object;
    ASSERT_NE(kc->read(ks), -1) << kc->lastError();
    auto data = [ks] { return std::string(static_cast<char*>(ks->data), ks->dataSize); };
    const std::string before = data();
    c.content ? tree.write(c.file, c.content) : tree.remove(c.file);
    EXPECT_EQ(kc->read(ks), -1) << c.file;
    EXPECT_NE(kc->lastError().find(c.file), std::string::npos) << kc->lastError();
    EXPECT_EQ(data(), before) << c.file;
  }
}

}  // namespace
