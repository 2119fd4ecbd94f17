// A program run as a child process, the way a user starts it from a shell:
// standard input from /dev/null, standard error (and, when asked, standard
// output) into a file. For the X11 tests and the playback benchmark, which
// drive the real tesmuro binary.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tesmuro::test {

class ChildProcess {
 public:
  // `argv[0]` is the program's path.
  ChildProcess(std::vector<std::string> argv, const std::string& outFile, bool stdoutToo = false) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (stdoutToo) posix_spawn_file_actions_adddup2(&fa, 2, 1);
    if (posix_spawn(&pid_, argv[0].c_str(), &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
    outFile_ = outFile;
    posix_spawn_file_actions_destroy(&fa);
  }
  // One still running is killed.
  ~ChildProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0 || ended_; }

  // Sends `sig` to a child that has not ended.
  void Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
  }

  // The exit code (128 + the signal for one ended by a signal), or -1 when it
  // has not ended within `limit`.
  int Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        ended_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

  // Waits until the child's output holds `text` (it ended or 20 s passed
  // without: false), e.g. the line a program writes once it is ready.
  bool Says(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      std::string out;
      if (FILE* f = std::fopen(outFile_.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
        std::fclose(f);
      }
      if (out.find(text) != std::string::npos) return true;
      if (pid_ <= 0) return false;
      siginfo_t info{};  // ended: looked at, not reaped (Wait() tells the code)
      if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Waits for the end however long it takes: the status as waitpid() gives
  // it and the child's resource usage. False when there is no child to wait for.
  bool WaitForEnd(int& status, rusage& usage) {
    if (pid_ <= 0) return false;
    pid_t waited;
    do {
      waited = wait4(pid_, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid_) return false;
    pid_ = -1;
    ended_ = true;
    return true;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  std::string outFile_;
};

}  // namespace tesmuro::test
