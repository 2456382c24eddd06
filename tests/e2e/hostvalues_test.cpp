// A host-only run records this host's own figures: the CPU states of each
// interval add up to the whole and follow a CPU-burning process, and the
// loopback interface's packet counters follow traffic sent during the run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

void burnCpu() {
  volatile unsigned long n = 0;
  for (;;) n = n + 1;
}

// Sends about 2000 datagrams a second from one loopback socket to another.
void sendLoopbackTraffic() {
  int rx = socket(AF_INET, SOCK_DGRAM, 0);
  int tx = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(rx, (sockaddr*)&addr, sizeof addr) != 0 || getsockname(rx, (sockaddr*)&addr, &len) != 0) _exit(1);
  char payload[64] = {0};
  char sink[64];
  for (;;) {
    for (int i = 0; i < 100; i++) {
      sendto(tx, payload, sizeof payload, 0, (sockaddr*)&addr, sizeof addr);
      recv(rx, sink, sizeof sink, MSG_DONTWAIT);
    }
    usleep(50000);
  }
}

int64_t field(const Archive& a, const ArchiveRecord* r, const char* name) {
  auto v = a.fieldInt(*r, name);
  EXPECT_TRUE(v.has_value()) << name;
  return v.value_or(-1);
}

TEST(HostValues, CpuStatesAddUpAndFollowABurnerAndLoopbackCountersFollowTraffic) {
  TempDir dir;
  ChildProcess burner(burnCpu);
  ChildProcess traffic(sendLoopbackTraffic);
  RunResult r = runProgram({TALLYSCOPE_BIN, "-X", "-A", "-i", "1", "-t", "5", "-q", "-f", dir.file("v")});
  ASSERT_EQ(r.status, 0) << r.err;

  Archive a = readCompleteArchive(dir.file("v.out"));
  ASSERT_EQ(a.sampleCount(), 5u);

  // The first sample has no interval behind it; every later one covers a second.
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  auto system = a.select("Solaris_x86_System");
  ASSERT_EQ(system.size(), 5u);
  int64_t busiest = 0;
  for (size_t i = 1; i < system.size(); i++) {
    int64_t active = field(a, system[i], "PercentCpuActive");
    int64_t whole = active + field(a, system[i], "PercentCpuIdle") + field(a, system[i], "PercentCpuWaiting");
    EXPECT_GE(whole, 97) << "sample " << i;
    EXPECT_LE(whole, 101) << "sample " << i;
    EXPECT_EQ(active, field(a, system[i], "PercentCpuUser") + field(a, system[i], "PercentCpuSystem"));
    if (active > busiest) busiest = active;
  }
  // One process spinning keeps at least one CPU busy.
  EXPECT_GE(busiest, 80 / cpus) << "a spinning process should show in the active share";

  auto perCpu = a.select("x86_CPU");
  ASSERT_EQ(perCpu.size(), (size_t)(5 * cpus));
  for (size_t i = (size_t)cpus; i < perCpu.size(); i++) {
    int64_t whole = field(a, perCpu[i], "PercentCpuActive") + field(a, perCpu[i], "PercentCpuIdle") +
                    field(a, perCpu[i], "PercentCpuWaiting");
    EXPECT_GE(whole, 97) << perCpu[i]->instance();
    EXPECT_LE(whole, 101) << perCpu[i]->instance();
  }

  // The loopback counters are running totals; at about 2000 datagrams a second
  // they must rise by thousands over the four seconds between first and last sample.
  auto lo = a.select("Network", "lo");
  if (lo.empty()) lo = a.select("ComplexNetwork", "lo");
  ASSERT_EQ(lo.size(), 5u);
  int64_t in = field(a, lo.back(), "InputPackets") - field(a, lo.front(), "InputPackets");
  int64_t out = field(a, lo.back(), "OutputPackets") - field(a, lo.front(), "OutputPackets");
  EXPECT_GE(in, 3000);
  EXPECT_GE(out, 3000);
}

}  // namespace
