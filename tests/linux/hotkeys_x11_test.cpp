// tesmuro hotkeys against a real X server (the Xvfb display run_xvfb.sh
// starts): a row's key, pressed with xdotool, plays its script into a test
// window; a key another client holds is named; Ctrl+C ends the command.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "setup/settings.h"
#include "util/text.h"

// Xlib last: its macros (None, Bool, ...) clash with GoogleTest's names.
#include "tests/linux/child_process.h"
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;
using tesmuro::test::ChildProcess;

std::string Gbk(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) out += tesmuro::CodePointToGbk(tesmuro::NextCodePoint(utf8, i));
  return out;
}

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

bool Eventually(const std::function<bool()>& ok, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!ok()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class HotkeysCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run through tests/linux/run_xvfb.sh";
    dir_ = "/tmp/tesmuro-hotkeys-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("mkdir -p " + dir_).c_str());
    settings_ = dir_ + "/Quorlin.qlset";
    Write(settings_, tesmuro::FormatSettings(tesmuro::ConstructionSettings()));
    d_ = XOpenDisplay(nullptr);
    ASSERT_NE(d_, nullptr);
  }
  void TearDown() override {
    if (d_) XCloseDisplay(d_);
    std::system(("rm -rf " + dir_ + " " + out_).c_str());
  }
  ChildProcess* Start(const std::string& rows) {
    program_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{TESMURO_BIN, "hotkeys", "--file", rows, "--settings", settings_}, out_, true);
    return program_.get();
  }
  std::string Out() const { return Read(out_); }
  std::string dir_, settings_, out_ = "/tmp/tesmuro-hotkeys-out-" + std::to_string(getpid());
  Display* d_ = nullptr;
  std::unique_ptr<ChildProcess> program_;
};

TEST_F(HotkeysCommand, AKeyPlaysItsScriptAgainAndAgainUntilCtrlC) {
  ChildProcess window({TESMURO_XWIN, "--log", dir_ + "/win.log", "--at", "200,150", "--size", "300,200"},
                      dir_ + "/win.err");
  ASSERT_TRUE(Eventually([&] { return Read(dir_ + "/win.log").find("mapped") != std::string::npos; }));

  // The script, by a relative Chinese name from the rows file's folder: a
  // click in the window, played twice per press.
  Write(dir_ + "/点击.crec", Gbk("移动 260,220\r\n左键按下\r\n左键释放\r\n延迟 20\r\n"));
  Write(dir_ + "/rows.qlkeys", "# rows\r\nCtrl+F5\t2\t点击.crec\r\nCtrl+F6\t1\t点击.crec\r\n");
  // Another client holds Ctrl+F6.
  XGrabKey(d_, XKeysymToKeycode(d_, XK_F6), ControlMask, DefaultRootWindow(d_), False, GrabModeAsync, GrabModeAsync);
  XSync(d_, False);

  ChildProcess* p = Start(dir_ + "/rows.qlkeys");
  ASSERT_TRUE(Eventually([&] { return Out().find("正在监听 1 个热键") != std::string::npos; })) << Out();
  EXPECT_NE(Out().find("热键 Ctrl+F6（点击.crec）不能使用：另一个程序已占用这个键"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Ctrl+F5：" + dir_ + "/点击.crec，2 遍"), std::string::npos) << Out();

  // With Num Lock on, as many keyboards are.
  ASSERT_EQ(std::system("xdotool key Num_Lock ctrl+F5"), 0);
  ASSERT_TRUE(Eventually([&] { return Count(Out(), "播放完毕") == 1; })) << Out();
  EXPECT_EQ(Count(Read(dir_ + "/win.log"), "click 1 60 70"), 2) << Read(dir_ + "/win.log");
  Window root, child;
  int x = 0, y = 0, wx, wy;
  unsigned mask;
  XQueryPointer(d_, DefaultRootWindow(d_), &root, &child, &x, &y, &wx, &wy, &mask);
  EXPECT_EQ(x, 260);
  EXPECT_EQ(y, 220);

  // It listens again after a run.
  ASSERT_EQ(std::system("xdotool key Num_Lock mousemove 5 5 key ctrl+F5"), 0);
  ASSERT_TRUE(Eventually([&] { return Count(Out(), "播放完毕") == 2; })) << Out();
  EXPECT_EQ(Count(Read(dir_ + "/win.log"), "click 1 60 70"), 4);

  p->Signal(SIGINT);
  EXPECT_EQ(p->Wait(5s), 0) << Out();
  EXPECT_NE(Out().find("热键监听已结束"), std::string::npos) << Out();
}

TEST_F(HotkeysCommand, NoRowsFileOrNoReadableRowIsAnError) {
  ChildProcess* p = Start(dir_ + "/missing.qlkeys");
  EXPECT_EQ(p->Wait(5s), 2);
  EXPECT_NE(Out().find("找不到热键文件 " + dir_ + "/missing.qlkeys"), std::string::npos) << Out();

  Write(dir_ + "/bad.qlkeys", "Ctrl+Nothing\t1\ta.crec\nPause\t1\ta.crec\n");
  p = Start(dir_ + "/bad.qlkeys");
  EXPECT_EQ(p->Wait(5s), 2);
  EXPECT_NE(Out().find("第 1 行：热键“Ctrl+Nothing”无法识别"), std::string::npos) << Out();
  EXPECT_NE(Out().find("热键 Pause（a.crec）不能使用：Pause 是紧急停止键"), std::string::npos) << Out();
  EXPECT_NE(Out().find("没有可用的热键"), std::string::npos) << Out();
}

}  // namespace
