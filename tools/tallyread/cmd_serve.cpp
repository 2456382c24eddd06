// serve: follows a growing archive and serves the newest sample of each
// series at /metrics in the Prometheus text format, for a Prometheus that
// scrapes this host. Reading happens on its own thread once a second; a
// scrape only formats what is kept.
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "archivefollower.h"
#include "commands.h"
#include "metrictable.h"

namespace tallyread {

namespace {

const char* const METRICS_TYPE = "text/plain; version=0.0.4; charset=utf-8";

// "127.0.0.1:9464", "[::1]:9464", "localhost:0" (any free port).
bool splitListen(const std::string& text, std::string* host, int* port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  *host = text.substr(0, colon);
  if (host->size() > 2 && host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
  uint64_t number;
  if (!parseUInt(text.substr(colon + 1), &number) || number > 65535) return false;
  *port = (int)number;
  return true;
}

// The records of the archive as they arrive, kept as the newest value of each series.
class LiveMetrics {
 public:
  LiveMetrics(const CommandLine& line) : _selection(line.selection), _table(false, line.cacheName) {}

  void take(const SeriesRecord& record) {
    std::lock_guard<std::mutex> hold(_lock);
    if (record.headerSerial != _checkedSerial) {
      _checkedSerial = record.headerSerial;
      std::string error;
      if (!_selection.check(*record.header, &error)) reportProblem(*record.path + ": " + error);
    }
    _newest = std::max(_newest, (double)record.record.time);
    if (!record.type) return;
    const FieldChoice& choice = _selection.choose(record.headerSerial, *record.type);
    const ArchiveRecord& read = record.record;
    if (!choice.typeSelected || !_selection.instanceMatches(read.instance())) return;
    const std::string instance(read.instance());
    const std::string processId = read.tokenCount() > 3 ? std::string(read.token(3)) : std::string("0");
    _table.beginRecord(read.time, record.header->machine, record.type->name, instance, processId);
    for (size_t i = 0; i < choice.positions.size(); i++) {
      size_t position = choice.positions[i];
      if (position < 3 || position >= read.tokenCount()) continue;  // type number, time stamp, instance
      std::optional<double> value = fieldValue(choice.infos[i], read.token(position));
      if (value) _table.add(choice.names[i], choice.infos[i], *value);
    }
  }

  std::string page(bool archiveOpen) {
    std::lock_guard<std::mutex> hold(_lock);
    std::string text = _table.exposition();
    text += "# HELP tallyread_archive_open 1 while the archive followed is open, 0 while it is missing\n"
            "# TYPE tallyread_archive_open gauge\n"
            "tallyread_archive_open " + std::string(archiveOpen ? "1" : "0") + "\n";
    text += "# HELP tallyread_newest_time_stamp Time stamp of the newest record read (a sample count in an "
            "archive taken below one second)\n"
            "# TYPE tallyread_newest_time_stamp gauge\n"
            "tallyread_newest_time_stamp " + metricNumber(_newest) + "\n";
    return text;
  }

 private:
  std::mutex _lock;
  Selection _selection;
  MetricTable _table;
  size_t _checkedSerial = 0;
  double _newest = 0;
};

}  // namespace

int serveCommand(const CommandLine& line) {
  std::string host;
  int port;
  if (!splitListen(line.listen, &host, &port)) {
    reportProblem("--listen " + line.listen + ": not ADDRESS:PORT");
    return EXIT_USAGE;
  }
  // INT and TERM are taken by a thread of their own, so they end the server cleanly.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  LiveMetrics metrics(line);
  ArchiveFollower follower(line.files[0], reportProblem);
  std::atomic<bool> archiveOpen{false};

  httplib::Server server;
  server.Get("/metrics", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(metrics.page(archiveOpen), METRICS_TYPE);
  });
  server.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("tallyread serve: the metrics are at /metrics\n", "text/plain; charset=utf-8");
  });
  int bound = port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) {
    reportProblem("cannot listen on " + line.listen);
    return EXIT_BAD_ARCHIVE;
  }
  fprintf(stderr, "tallyread: serving %s at http://%s:%d/metrics\n", line.files[0].c_str(),
          host.find(':') != std::string::npos ? ("[" + host + "]").c_str() : host.c_str(), bound);

  std::mutex stopLock;
  std::condition_variable stopped;
  bool stopping = false;
  std::thread reader([&] {
    std::unique_lock<std::mutex> hold(stopLock);
    while (!stopping) {
      hold.unlock();
      follower.poll([&](const SeriesRecord& record) { metrics.take(record); });
      archiveOpen = follower.fileOpen();
      hold.lock();
      stopped.wait_for(hold, std::chrono::seconds(1), [&] { return stopping; });
    }
  });
  std::thread signals([&] {
    int sig;
    sigwait(&stopSignals, &sig);
    {
      std::lock_guard<std::mutex> hold(stopLock);
      stopping = true;
    }
    stopped.notify_all();
    server.stop();
  });

  bool served = server.listen_after_bind();
  {
    std::lock_guard<std::mutex> hold(stopLock);
    if (!stopping) kill(getpid(), SIGTERM);  // wakes the signal thread
  }
  signals.join();
  reader.join();
  if (!served) {
    reportProblem("the server on " + line.listen + " stopped");
    return EXIT_BAD_ARCHIVE;
  }
  return 0;
}

}  // namespace tallyread
