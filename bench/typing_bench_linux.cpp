// How fast 输入文本 types, the way a user runs it: `tesmuro play FILE --loops 1`
// as a child process on a script of one 输入文本 line of 1,000 characters
// (Chinese, Latin letters and digits, no pause between them), watched by an
// XInput 2 raw listener of the benchmark's own.
//
//   tests/linux/run_xvfb.sh build/.../typing_bench [path/to/tesmuro]
//
// Figures (printed, not asserted): characters a second from the first key
// press to the last, and over the child's whole run; its processor time. The
// exit code is non-zero only when the run failed or characters were lost.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "os/monotonic_posix.h"
#include "script/script_format.h"
#include "setup/settings.h"
#include "util/file_io.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include "tests/linux/child_process.h"
#include "tests/linux/xi_raw_listener.h"

namespace {

#ifndef TESMURO_BIN
#define TESMURO_BIN "tesmuro"
#endif

constexpr int kCharacters = 1000;

// 1,000 characters as GBK bytes inside the quotes: 中文 and ASCII in turn.
std::string Text() {
  const std::string chinese = "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4";  // 中文测试
  const std::string latin = "Abc123";
  std::string t;
  int n = 0;
  while (n < kCharacters) {
    for (size_t i = 0; i + 1 < chinese.size() && n < kCharacters; i += 2, ++n) t += chinese.substr(i, 2);
    for (size_t i = 0; i < latin.size() && n < kCharacters; ++i, ++n) t += latin[i];
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bin = argc > 1 ? argv[1] : TESMURO_BIN;
  if (access(bin.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "error: no tesmuro program at %s (pass its path as the argument)\n", bin.c_str());
    return 2;
  }
  char dirTemplate[] = "/tmp/tesmuro-bench-XXXXXX";
  if (!mkdtemp(dirTemplate)) return 2;
  const std::string dir = dirTemplate;
  const std::string script = dir + "/type.crec", settings = dir + "/Quorlin.qlset", out = dir + "/out";
  std::ofstream(settings, std::ios::binary) << tesmuro::FormatSettings(tesmuro::ConstructionSettings());
  std::ofstream(script, std::ios::binary) << tesmuro::script::kKeywordTypeText << " \"" << Text() << "\"\r\n";

  tesmuro::test::XiRawListener listener({XI_RawKeyPress}, 4 * kCharacters);
  if (!listener.Error().empty()) {
    std::fprintf(stderr, "error: %s\n", listener.Error().c_str());
    return 2;
  }
  const int64_t wall0 = tesmuro::os::MonotonicMicros();
  tesmuro::test::ChildProcess child({bin, "play", script, "--loops", "1", "--settings", settings}, out, true);
  int status = 0;
  rusage usage{};
  const bool waited = child.Started() && child.WaitForEnd(status, usage);
  const int64_t wall = tesmuro::os::MonotonicMicros() - wall0;
  std::string childOutput;
  tesmuro::ReadWholeFile(out, childOutput);
  for (const std::string& f : {script, settings, out}) unlink(f.c_str());
  rmdir(dir.c_str());
  if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "error: tesmuro play failed; its output:\n%s\n", childOutput.c_str());
    return 1;
  }
  for (int i = 0; i < 200 && listener.Events().size() < static_cast<size_t>(kCharacters); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto events = listener.Events();
  if (events.size() < static_cast<size_t>(kCharacters)) {
    std::fprintf(stderr, "error: %zu key presses arrived for %d characters\n", events.size(), kCharacters);
    return 1;
  }
  const double typing = (events.back().at - events.front().at) / 1e6;
  const double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("输入文本 of %d characters (Chinese and ASCII, no pause) by `tesmuro play --loops 1` on X11\n", kCharacters);
  std::printf("  key presses seen: %zu; first to last %.3f s: %.0f characters a second\n", events.size(), typing,
              (kCharacters - 1) / typing);
  std::printf("  the whole run (start-up and exit included): %.3f s, %.0f characters a second; CPU %.3f s\n",
              wall / 1e6, kCharacters / (wall / 1e6), cpu);
  return 0;
}
