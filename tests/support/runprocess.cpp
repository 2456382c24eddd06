#include "support/runprocess.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

pid_t spawn(const std::vector<std::string>& argv, const RunOptions& opts, const std::string& outPath,
            const std::string& errPath, const std::string& inPath) {
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);
    int in = inPath.empty() ? open("/dev/null", O_RDONLY) : open(inPath.c_str(), O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const auto& e : opts.unsetEnv) unsetenv(e.c_str());
    for (const auto& e : opts.env) putenv(strdup(e.c_str()));
    if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0) _exit(126);
    signal(SIGINT, opts.ignoreSigint ? SIG_IGN : SIG_DFL);
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

void decodeStatus(int wstatus, RunResult* r) {
  if (WIFEXITED(wstatus)) {
    r->status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    r->status = -1;
    r->signal = WTERMSIG(wstatus);
  }
}

// Waits for pid up to timeoutSec; kills the process group after it.
bool waitFor(pid_t pid, double timeoutSec, int* wstatus) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSec);
  for (;;) {
    pid_t r = waitpid(pid, wstatus, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return true;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, wstatus, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::string readFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}
// Removes a directory tree; what cannot be removed is left in place.
void removeTree(const std::string& path) { nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }
}  // namespace

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TempDir::TempDir() {
  char tmpl[] = "/tmp/tallytest.XXXXXX";
  char* p = mkdtemp(tmpl);
  if (!p) throw std::runtime_error("mkdtemp failed");
  _path = p;
}

TempDir::~TempDir() { removeTree(_path); }

RunResult runProgram(const std::vector<std::string>& argv, const RunOptions& opts) {
  TempDir dir;
  std::string inPath;
  if (!opts.stdinText.empty()) {
    inPath = dir.file("stdin");
    writeFileText(inPath, opts.stdinText);
  }
  pid_t pid = spawn(argv, opts, dir.file("stdout"), dir.file("stderr"), inPath);
  int wstatus = 0;
  RunResult r;
  r.timedOut = !waitFor(pid, opts.timeoutSec, &wstatus);
  decodeStatus(wstatus, &r);
  r.out = readFileText(dir.file("stdout"));
  r.err = readFileText(dir.file("stderr"));
  return r;
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv, const RunOptions& opts) {
  char tmpl[] = "/tmp/tallybg.XXXXXX";
  char* p = mkdtemp(tmpl);
  if (!p) throw std::runtime_error("mkdtemp failed");
  _dir = p;
  _outPath = _dir + "/stdout";
  _errPath = _dir + "/stderr";
  std::string inPath;
  if (!opts.stdinText.empty()) {
    inPath = _dir + "/stdin";
    writeFileText(inPath, opts.stdinText);
  }
  _pid = spawn(argv, opts, _outPath, _errPath, inPath);
}

BackgroundProgram::~BackgroundProgram() {
  if (!_reaped && _pid > 0) {
    kill(-_pid, SIGKILL);
    kill(_pid, SIGKILL);
    int st;
    waitpid(_pid, &st, 0);
  }
  removeTree(_dir);
}

void BackgroundProgram::sendSignal(int sig) {
  if (!_reaped) kill(_pid, sig);
}

bool BackgroundProgram::running() {
  if (_reaped) return false;
  int wstatus;
  pid_t r = waitpid(_pid, &wstatus, WNOHANG);
  if (r == _pid) {
    _reaped = true;
    decodeStatus(wstatus, &_result);
    return false;
  }
  return true;
}

RunResult BackgroundProgram::wait(double timeoutSec) {
  if (!_reaped) {
    int wstatus = 0;
    _result.timedOut = !waitFor(_pid, timeoutSec, &wstatus);
    decodeStatus(wstatus, &_result);
    _reaped = true;
  }
  _result.out = readFileText(_outPath);
  _result.err = readFileText(_errPath);
  return _result;
}

std::string BackgroundProgram::currentOut() const { return readFileText(_outPath); }
std::string BackgroundProgram::currentErr() const { return readFileText(_errPath); }
