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

uint64_t named(const Kstat* ks, const char* name) {
  const KstatNamed* kn = KstatFindNamed(ks, name);
  EXPECT_NE(kn, nullptr) << name;
  if (!kn) return 0;
  return kn->dataType == KSTAT_DATA_UINT64 ? kn->value.ui64 : kn->value.ui32;
}

std::string describe(const Kstat* ks) {
  return std::to_string(ks->kind) + " " + ks->module + " " + ks->name + " " + ks->className;
}

TEST(KstatTest, ChainHoldsTheHostsObjectsInOrderWithoutLoopAndRamDisks) {
  FixtureTree tree;
  auto kc = openTree(tree);
  std::vector<std::string> got;
  for (Kstat* ks = kc->chain(); ks; ks = ks->next) got.push_back(describe(ks));
  std::vector<std::string> want = {
      "0 unix sysinfo misc",          "0 unix vminfo vm",           "1 unix system_misc misc",
      "1 unix system_pages pages",    "0 cpu_stat cpu_stat0 misc",  "0 cpu_stat cpu_stat1 misc",
      "3 sd sda disk",                "3 sd sdb disk",              "1 sderr sdb,err device_error",
      "3 fd fd0 disk",                "3 sd sda1 partition",        "1 lo lo net",
      "1 eth eth0 net"};
  EXPECT_EQ(got, want);
  EXPECT_EQ(find(*kc, "sdb,err")->instance, find(*kc, "sdb")->instance);
  EXPECT_EQ(find(*kc, "lo")->ndata, 2u);  // the loopback publishes packets only
  EXPECT_GT(find(*kc, "eth0")->ndata, 2u);
}

TEST(KstatTest, CpuObjectsCarryTheirTicksAndTheFirstCarriesTheSystemCounters) {
  FixtureTree tree;
  auto kc = openTree(tree);
  Kstat* c0 = find(*kc, "cpu_stat0");
  Kstat* c1 = find(*kc, "cpu_stat1");
  ASSERT_NE(kc->read(c0), -1) << kc->lastError();
  ASSERT_NE(kc->read(c1), -1) << kc->lastError();
  ASSERT_EQ(c0->dataSize, KSTAT_CPU_STAT_SIZE);
  const KstatCpuStat* a = static_cast<const KstatCpuStat*>(c0->data);
  const KstatCpuStat* b = static_cast<const KstatCpuStat*>(c1->data);
  // cpu0 100 10 50 1000 20 5 5: user+nice, system+irq+softirq, idle, iowait.
  EXPECT_EQ(a->ticks[0], 1000u);
  EXPECT_EQ(a->ticks[1], 110u);
  EXPECT_EQ(a->ticks[2], 60u);
  EXPECT_EQ(a->wait[0], 20u);
  EXPECT_EQ(a->pswitch, 70000u);
  EXPECT_EQ(a->intr, 5000u);
  EXPECT_EQ(a->sysfork, 9000u);
  EXPECT_EQ(a->intrthread, 4000u);
  EXPECT_EQ(a->iowait, 1u);
  EXPECT_EQ(a->pgpgin, 2000u);  // 8000 kB in 4 kB pages
  EXPECT_EQ(a->pgswapout, 12u);
  EXPECT_EQ(a->maj_fault, 300u);
  EXPECT_EQ(a->as_fault, 49700u);
  EXPECT_EQ(a->scan, 25u);
  EXPECT_EQ(b->ticks[1], 210u);
  EXPECT_EQ(b->pswitch, 0u);  // system-wide counters are counted once
  EXPECT_EQ(b->maj_fault, 0u);
}

TEST(KstatTest, DiskRecordsMapBusyAndQueueTimeOntoTheRunQueue) {
  FixtureTree tree;
  auto kc = openTree(tree);
  Kstat* sda = find(*kc, "sda");
  ASSERT_NE(kc->read(sda), -1) << kc->lastError();
  const KstatIo* io = static_cast<const KstatIo*>(sda->data);
  EXPECT_EQ(io->nread, 2048u * 512);
  EXPECT_EQ(io->nwritten, 1024u * 512);
  EXPECT_EQ(io->reads, 100u);
  EXPECT_EQ(io->writes, 40u);
  EXPECT_EQ(io->rtime, 60 * 1000000LL);
  EXPECT_EQ(io->rlentime, 90 * 1000000LL);
  EXPECT_EQ(io->rlastupdate, 1000 * 1000000000LL);
  EXPECT_EQ(io->wtime + io->wlentime + io->wlastupdate, 0);
  Kstat* err = find(*kc, "sdb,err");
  ASSERT_NE(kc->read(err), -1) << kc->lastError();
  EXPECT_EQ(named(err, "Hard Errors"), 3u);
  EXPECT_EQ(named(err, "Soft Errors"), 0u);
}

TEST(KstatTest, NamedObjectsOfSystemPagesAndInterfaces) {
  FixtureTree tree;
  auto kc = openTree(tree);
  Kstat* misc = find(*kc, "system_misc");
  Kstat* pages = find(*kc, "system_pages");
  Kstat* eth = find(*kc, "eth0");
  for (Kstat* ks : {misc, pages, eth, find(*kc, "lo")}) ASSERT_NE(kc->read(ks), -1) << kc->lastError();
  EXPECT_EQ(named(misc, "ncpus"), 2u);
  EXPECT_EQ(named(misc, "nproc"), 2u);  // the numeric entries of /proc
  EXPECT_EQ(named(misc, "avenrun_1min"), 128u);
  EXPECT_EQ(named(misc, "avenrun_15min"), 512u);
  EXPECT_EQ(named(misc, "boot_time"), 1700000000u);
  EXPECT_EQ(named(pages, "physmem"), 2097152u);
  EXPECT_EQ(named(pages, "freemem"), 1048576u);  // MemAvailable
  EXPECT_EQ(named(pages, "availrmem"), (8388608u - 40960u) / 4);
  EXPECT_EQ(named(pages, "pageslocked"), 5120u);
  EXPECT_EQ(named(eth, "ipackets"), 695u);
  EXPECT_EQ(named(eth, "ierrors"), 1u);
  EXPECT_EQ(named(eth, "collisions"), 6u);
  EXPECT_EQ(named(eth, "multircv"), 3u);
  EXPECT_EQ(named(eth, "norcvbuf"), 2u);
  EXPECT_EQ(named(eth, "noxmtbuf"), 5u);
  EXPECT_EQ(named(eth, "obytes64"), 42146u);
  EXPECT_EQ(named(find(*kc, "lo"), "opackets"), 29u);

  KstatTcpMib tcp;
  ASSERT_TRUE(kc->readTcpMib(&tcp)) << kc->lastError();
  EXPECT_EQ(tcp.tcpActiveOpens, 11u);
  EXPECT_EQ(tcp.tcpCurrEstab, 5u);
  EXPECT_EQ(tcp.tcpRetransSegs, 7u);
  EXPECT_EQ(tcp.tcpOutAckDelayed, 21u);
  EXPECT_EQ(tcp.tcpInAckSegs, 27u + 28u);
  EXPECT_EQ(tcp.tcpListenDrop, 24u);
  EXPECT_EQ(tcp.tcpHalfOpenDrop, 81u);
  EXPECT_EQ(tcp.tcpOutDataBytes, 0u);  // not kept by Linux
}

TEST(KstatTest, SysinfoAndVminfoAccumulateOncePerElapsedSecond) {
  FixtureTree tree;
  auto kc = openTree(tree);
  Kstat* si = find(*kc, "sysinfo");
  Kstat* vi = find(*kc, "vminfo");
  ASSERT_NE(kc->read(si), -1);
  ASSERT_NE(kc->read(vi), -1);
  EXPECT_EQ(static_cast<const KstatSysinfo*>(si->data)->updates, 0u);

  tree.setUptime("1010.50");  // 10.5 s later: 10 whole seconds
  ASSERT_NE(kc->read(si), -1);
  ASSERT_NE(kc->read(vi), -1);
  const KstatSysinfo* s = static_cast<const KstatSysinfo*>(si->data);
  EXPECT_EQ(s->updates, 10u);
  EXPECT_EQ(s->runque, 30u);  // procs_running 3
  EXPECT_EQ(s->runocc, 10u);
  EXPECT_EQ(s->waiting, 10u);  // procs_blocked 1
  EXPECT_EQ(s->swpque, 0u);
  const KstatVminfo* v = static_cast<const KstatVminfo*>(vi->data);
  EXPECT_EQ(v->updates, 10u);
  EXPECT_EQ(v->freemem, 1048576u * 10);
  EXPECT_EQ(v->swap_alloc, 262144u * 10);  // SwapTotal - SwapFree

  tree.setUptime("1011.00");  // the half second left over makes a whole one now
  ASSERT_NE(kc->read(si), -1);
  EXPECT_EQ(static_cast<const KstatSysinfo*>(si->data)->updates, 11u);
}

TEST(KstatTest, ChainChangesWhenCpusDisksOrInterfacesComeAndGo) {
  FixtureTree tree;
  auto kc = openTree(tree);
  KstatChainId first = kc->chainId();
  Kstat* sda = find(*kc, "sda");
  EXPECT_EQ(kc->chainUpdate(), 0);
  EXPECT_EQ(find(*kc, "sda"), sda);  // unchanged objects stay where they are

  tree.replaceLine("proc/stat", "cpu1 ", "cpu1 200 10 50 1000 20 0 0 0 0 0\ncpu2 1 1 1 1 0 0 0 0 0 0");
  KstatChainId second = kc->chainUpdate();
  EXPECT_GT(second, first);
  ASSERT_NE(find(*kc, "cpu_stat2"), nullptr);
  EXPECT_EQ(find(*kc, "sda"), sda);

  tree.write("proc/diskstats", "   8 0 sda 100 0 2048 50 40 0 1024 30 0 60 90\n");
  EXPECT_GT(kc->chainUpdate(), second);
  EXPECT_EQ(find(*kc, "sdb"), nullptr);
  EXPECT_EQ(find(*kc, "sda1"), nullptr);

  tree.write("proc/net/dev", tree.read("proc/net/dev") + " eth1: 1 2 0 0 0 0 0 0 3 4 0 0 0 0 0 0\n");
  EXPECT_GT(kc->chainUpdate(), 0);
  ASSERT_NE(find(*kc, "eth1"), nullptr);
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
  struct Case {
    const char* file;
    const char* content;  // null: remove the file
    const char* object;
  };
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
    std::vector<uint8_t> before(static_cast<uint8_t*>(ks->data), static_cast<uint8_t*>(ks->data) + ks->dataSize);
    if (c.content)
      tree.write(c.file, c.content);
    else
      tree.remove(c.file);
    EXPECT_EQ(kc->read(ks), -1) << c.file;
    EXPECT_NE(kc->lastError().find(c.file), std::string::npos) << kc->lastError();
    std::vector<uint8_t> after(static_cast<uint8_t*>(ks->data), static_cast<uint8_t*>(ks->data) + ks->dataSize);
    EXPECT_EQ(before, after) << c.file;
  }
}

TEST(KstatTest, OpenAndChainUpdateFailOnUnreadableListings) {
  for (const char* file : {"proc/stat", "proc/diskstats", "proc/net/dev"}) {
    FixtureTree tree;
    auto kc = openTree(tree);
    tree.write(file, "garbage\n");
    EXPECT_EQ(kc->chainUpdate(), -1) << file;
    EXPECT_NE(kc->lastError().find(file), std::string::npos) << kc->lastError();
    EXPECT_EQ(kc->lastErrno(), EINVAL);
    EXPECT_NE(find(*kc, "cpu_stat0"), nullptr);  // the chain stays as it was

    std::string err;
    int errnum = 0;
    EXPECT_EQ(KstatCtl::open(tree.root(), 4096, &err, &errnum), nullptr);
    EXPECT_NE(err.find(file), std::string::npos) << err;
  }
}

}  // namespace
