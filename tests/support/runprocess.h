// Running the built programs from tests: capture output and status, or start one
// in the background and stop it later. Every child is killed when its handle dies,
// so a failing test leaves no process behind.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status, or -1 when ended by a signal (or killed after the time-out)
};

struct RunOptions {
  std::vector<std::string> env;  // extra "NAME=value" entries (added to the environment)
  std::string cwd;               // working directory; empty = current
  double timeoutSec = 90;        // the child is killed (SIGKILL) after this
  int stdoutFd = -1;             // when set, the child's standard output instead of a file
};

// Runs argv[0] with the arguments and waits for it.
RunResult runProgram(const std::vector<std::string>& argv, const RunOptions& opts = RunOptions());

// A program running in the background; its output goes to files read on demand.
class BackgroundProgram {
 public:
  BackgroundProgram(const std::vector<std::string>& argv, const RunOptions& opts = RunOptions());
  ~BackgroundProgram();  // kills and reaps the child if still running
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  pid_t pid() const { return _pid; }
  void sendSignal(int sig);
  // Waits for the end (killing it after timeoutSec); returns the result with its output.
  RunResult wait(double timeoutSec = 60);
  bool running();
  std::string currentOut() const;

 private:
  pid_t _pid = -1;
  std::string _dir;
  bool _reaped = false;
  int _status = -1;
};

// A forked copy of the test that runs body and never returns into the test;
// killed (SIGKILL) and reaped by stop() or when the handle dies.
class ChildProcess {
 public:
  template <typename Fn>
  explicit ChildProcess(Fn body) : _pid(fork()) {
    if (_pid == 0) {
      body();
      _exit(0);
    }
  }
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t pid() const { return _pid; }
  void stop();

 private:
  pid_t _pid;
};

// Does nothing until killed: the body of a sleeping process.
[[noreturn]] void sleepForever();

// A fresh temporary directory removed (recursively) when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return _path; }
  std::string file(const std::string& name) const { return _path + "/" + name; }

 private:
  std::string _path;
};

std::string readFileText(const std::string& path);
void writeFileText(const std::string& path, const std::string& text);
std::vector<std::string> splitLines(const std::string& text);
// What fn writes to a stream in memory; what fn writes to standard error.
std::string textWrittenBy(const std::function<void(FILE*)>& fn);
std::string stderrOf(const std::function<void()>& fn);
void sleepMs(int ms);

// Polls done() for at most limitMs: a bound against hanging, not a timing check.
template <typename Pred>
bool waitUntil(Pred done, int limitMs = 30000) {
  for (int waited = 0; waited < limitMs && !done(); waited += 50) sleepMs(50);
  return done();
}
