// tallyread's Prometheus commands as an operator uses them: openmetrics
// backfilled with promtool, serve scraped by a real Prometheus on a loopback
// port, and the values Prometheus answers compared with what csv reads from
// the same archives. Every process started is stopped by its handle (pid),
// also when a check fails; every file lives in a temporary directory.

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

// A loopback port free at the moment of asking.
int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = -1;
  if (bind(fd, (sockaddr*)&address, sizeof address) == 0 && getsockname(fd, (sockaddr*)&address, &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

// The full path of a program on PATH, or empty.
std::string onPath(const std::string& program) {
  RunResult r = runProgram({"/bin/sh", "-c", "command -v " + program});
  return r.status == 0 && !r.out.empty() ? r.out.substr(0, r.out.find('\n')) : "";
}

// The body of a GET, or empty with status 0 when nothing answers.
struct Answer {
  int status = 0;
  std::string body;
};
Answer get(int port, const std::string& path, const httplib::Params& params = {}) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(2);
  client.set_read_timeout(5);
  auto res = client.Get(path, params, httplib::Headers{});
  return res ? Answer{res->status, res->body} : Answer{};
}

// The sample value of the first result of a Prometheus query, when there is one.
std::optional<double> queryValue(int port, const std::string& query, const std::string& time = "") {
  httplib::Params params{{"query", query}};
  if (!time.empty()) params.emplace("time", time);
  Answer answer = get(port, "/api/v1/query", params);
  size_t at = answer.body.find("\"value\":[");
  if (answer.status != 200 || at == std::string::npos) return std::nullopt;
  size_t open = answer.body.find(",\"", at);
  if (open == std::string::npos) return std::nullopt;
  return std::stod(answer.body.substr(open + 2));
}

// "time,instance,value" lines of csv: (time, value).
std::vector<std::pair<std::string, double>> csvValues(const std::string& archive, const std::string& type,
                                                      const std::string& field) {
  RunResult r = runProgram({TALLYREAD_BIN, "csv", archive, "--type", type, "--fields", field});
  std::vector<std::pair<std::string, double>> values;
  std::vector<std::string> lines = splitLines(r.out);
  for (size_t i = 1; i < lines.size(); i++) {
    size_t first = lines[i].find(','), last = lines[i].rfind(',');
    if (first == std::string::npos || last == first) continue;
    values.emplace_back(lines[i].substr(0, first), std::stod(lines[i].substr(last + 1)));
  }
  return values;
}

const std::string ARCHIVE_HEAD = testArchiveHeader(
    {{"HardDisk", 64, "ReadKBytes"}, {"Solaris_x86_System", 128, "LoadAverage1"}}, "db1 x86_64 (Linux 6.1.0)");

TEST(TallyReadServe, FollowsTheArchiveAnswersBadRequestsAndWaitsWhileItIsMissing) {
  TempDir dir;
  int port = freePort();
  ASSERT_GT(port, 0);
  BackgroundProgram serve({TALLYREAD_BIN, "serve", dir.file("a-1.out"), "--listen",
                           "127.0.0.1:" + std::to_string(port), "--cache", "keeper~host"});
  ASSERT_TRUE(waitUntil([&] { return get(port, "/metrics").status == 200; })) << "serve never answered";
  EXPECT_NE(get(port, "/metrics").body.find("tallyread_archive_open 0\n"), std::string::npos);
  EXPECT_EQ(get(port, "/nothing").status, 404);

  const std::string series = "{host=\"db1 x86_64 (Linux 6.1.0)\",cache=\"keeper~host\",name=\"sda\"} ";
  writeFileText(dir.file("a-1.out"), ARCHIVE_HEAD + "64 100 sda 0 0 1\n128 100 db1 0 0 1063190528\n");
  ASSERT_TRUE(waitUntil([&] {
    return get(port, "/metrics").body.find("tally_hard_disk_read_bytes_total" + series + "1024\n") != std::string::npos;
  }));
  EXPECT_NE(get(port, "/metrics").body.find("tally_solaris_x86_system_load_average1{host=\"db1 x86_64 (Linux "
                                            "6.1.0)\",cache=\"keeper~host\",name=\"db1\"} 0.87109375\n"),
            std::string::npos);
  // Gone for a while: the newest values stay served. (Going on to the next file
  // of a series is the follower's, unit-tested.)
  ASSERT_EQ(unlink(dir.file("a-1.out").c_str()), 0);
  EXPECT_NE(get(port, "/metrics").body.find(series + "1024\n"), std::string::npos);

  serve.sendSignal(SIGTERM);
  RunResult end = serve.wait(30);
  EXPECT_EQ(end.status, 0) << end.err;
}

TEST(Prometheus, BackfilledAndScrapedSeriesHoldTheValuesCsvReads) {
  const std::string prometheusBin = onPath("prometheus"), promtool = onPath("promtool");
  if (prometheusBin.empty() || promtool.empty())
    GTEST_SKIP() << "prometheus and promtool are not installed (scripts/deps.sh installs them)";
  TempDir dir;
  // An archive of the past: backfilled.
  RunResult old = runProgram({TALLYSCOPE_BIN, "-X", "-i", "1", "-t", "2", "-u", "0", "-q", "-f", dir.file("old")});
  ASSERT_EQ(old.status, 0) << old.err;
  RunResult metrics = runProgram({TALLYREAD_BIN, "openmetrics", dir.file("old.out"), "--cache", "past"});
  ASSERT_EQ(metrics.status, 0) << metrics.err;
  writeFileText(dir.file("old.om"), metrics.out);
  RunResult blocks =
      runProgram({promtool, "tsdb", "create-blocks-from", "openmetrics", dir.file("old.om"), dir.file("data")});
  ASSERT_EQ(blocks.status, 0) << blocks.out << blocks.err;

  // An archive being written: served and scraped.
  BackgroundProgram monitor({TALLYSCOPE_BIN, "-X", "-i", "1", "-t", "120", "-u", "0", "-q", "-f", dir.file("live")});
  int servePort = freePort(), promPort = freePort();
  ASSERT_TRUE(servePort > 0 && promPort > 0 && servePort != promPort);
  BackgroundProgram serve({TALLYREAD_BIN, "serve", dir.file("live.out"), "--listen",
                           "127.0.0.1:" + std::to_string(servePort), "--cache", "live"});
  writeFileText(dir.file("prometheus.yml"),
                "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: tally\n    static_configs:\n"
                "      - targets: ['127.0.0.1:" + std::to_string(servePort) + "']\n");
  BackgroundProgram prometheus({prometheusBin, "--config.file=" + dir.file("prometheus.yml"),
                                "--storage.tsdb.path=" + dir.file("data"),
                                "--web.listen-address=127.0.0.1:" + std::to_string(promPort), "--log.level=warn"},
                               RunOptions{{}, dir.path(), 300, -1});

  // promtool accepts the page served.
  ASSERT_TRUE(waitUntil([&] {
    return get(servePort, "/metrics").body.find("tally_solaris_x86_system_free_memory_bytes") != std::string::npos;
  }));
  writeFileText(dir.file("page.txt"), get(servePort, "/metrics").body);
  RunResult lint = runProgram({"/bin/sh", "-c", promtool + " check metrics < " + dir.file("page.txt")});
  EXPECT_EQ(lint.status, 0) << lint.out << lint.err;

  // The backfilled series, at the time of each sample csv shows.
  const std::string freeMemory = "tally_solaris_x86_system_free_memory_bytes";
  ASSERT_TRUE(waitUntil([&] { return get(promPort, "/-/ready").status == 200; }, 60000)) << prometheus.currentOut();
  auto pastValues = csvValues(dir.file("old.out"), "Solaris_x86_System", "FreeMemory");
  ASSERT_EQ(pastValues.size(), 2u);
  for (const auto& [time, megabytes] : pastValues)
    EXPECT_EQ(queryValue(promPort, freeMemory + "{cache=\"past\"}", time), megabytes * 1048576) << "at " << time;
  auto pastLoad = csvValues(dir.file("old.out"), "Solaris_x86_System", "LoadAverage1");
  ASSERT_EQ(pastLoad.size(), 2u);
  std::optional<double> load =
      queryValue(promPort, "tally_solaris_x86_system_load_average1{cache=\"past\"}", pastLoad[1].first);
  ASSERT_TRUE(load);
  EXPECT_EQ((float)*load, (float)pastLoad[1].second);

  // The scraped series: its value is one that csv reads from the live archive.
  std::optional<double> live;
  ASSERT_TRUE(waitUntil([&] { return (live = queryValue(promPort, freeMemory + "{cache=\"live\"}")).has_value(); },
                        60000))
      << prometheus.currentOut();
  monitor.sendSignal(SIGINT);
  monitor.wait(30);
  bool found = false;
  for (const auto& [time, megabytes] : csvValues(dir.file("live.out"), "Solaris_x86_System", "FreeMemory"))
    found = found || megabytes * 1048576 == *live;
  EXPECT_TRUE(found) << *live << " is not among the live archive's values";
}

}  // namespace
