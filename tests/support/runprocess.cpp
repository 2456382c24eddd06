#include "support/runprocess.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

// Starts argv in its own process group, output to dir/stdout and dir/stderr.
pid_t spawn(const std::vector<std::string>& argv, const RunOptions& opts, const std::string& dir) {
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);
    bool out = opts.stdoutFd >= 0 ? dup2(opts.stdoutFd, STDOUT_FILENO) == STDOUT_FILENO
                                  : freopen((dir + "/stdout").c_str(), "w", stdout) != nullptr;
    if (!freopen("/dev/null", "r", stdin) || !out ||
        !freopen((dir + "/stderr").c_str(), "w", stderr) || (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0))
      _exit(126);
    for (const auto& e : opts.env) putenv(strdup(e.c_str()));
    signal(SIGINT, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Waits for pid up to timeoutSec, then kills its process group; returns the exit status.
int waitFor(pid_t pid, double timeoutSec) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSec);
  int wstatus = 0;
  for (pid_t r; (r = waitpid(pid, &wstatus, WNOHANG)) == 0 || (r < 0 && errno == EINTR);) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

}  // namespace

std::string readFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFileText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string textWrittenBy(const std::function<void(FILE*)>& fn) {
  char* data = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&data, &size);
  fn(f);
  fclose(f);
  std::string text(data, size);
  free(data);
  return text;
}

std::string stderrOf(const std::function<void()>& fn) {
  testing::internal::CaptureStderr();
  fn();
  return testing::internal::GetCapturedStderr();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ChildProcess::stop() {
  if (_pid > 0) {
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
  }
  _pid = -1;
}

void sleepForever() {
  for (;;) pause();
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/tallytest.XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  _path = tmpl;
}

TempDir::~TempDir() { nftw(_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

RunResult runProgram(const std::vector<std::string>& argv, const RunOptions& opts) {
  BackgroundProgram p(argv, opts);
  return p.wait(opts.timeoutSec);
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv, const RunOptions& opts) {
  char tmpl[] = "/tmp/tallybg.XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  _dir = tmpl;
  _pid = spawn(argv, opts, _dir);
}

BackgroundProgram::~BackgroundProgram() {
  if (!_reaped) waitFor(_pid, 0);
  nftw(_dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void BackgroundProgram::sendSignal(int sig) {
  if (!_reaped) kill(_pid, sig);
}

bool BackgroundProgram::running() {
  int wstatus;
  if (_reaped || waitpid(_pid, &wstatus, WNOHANG) != _pid) return !_reaped;
  _reaped = true;
  _status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return false;
}

RunResult BackgroundProgram::wait(double timeoutSec) {
  if (!_reaped) _status = waitFor(_pid, timeoutSec);
  _reaped = true;
  RunResult r;
  r.status = _status;
  r.out = readFileText(_dir + "/stdout");
  r.err = readFileText(_dir + "/stderr");
  return r;
}

std::string BackgroundProgram::currentOut() const { return readFileText(_dir + "/stdout"); }
