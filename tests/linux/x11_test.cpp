// The Linux program against a real X server (the Xvfb display run_xvfb.sh
// starts): input injected through XTest is recorded as the Windows recorder
// would write it, and a played script is seen by a listener of the test's
// own (XInput 2 raw events, which carry the server's time) in order, with
// its values and its timing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "setup/settings.h"
#include "linux/files.h"

// Xlib last: its macros (None, Bool, ...) clash with GoogleTest's names.
#include "tests/linux/child_process.h"
#include "tests/linux/xi_raw_listener.h"
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstring>

namespace {

using namespace std::chrono_literals;

// Text in another encoding, through iconv.
std::string Iconv(const char* from, const char* to, const std::string& text) {
  const std::string in = "/tmp/tesmuro-x11-test-" + std::to_string(getpid());
  { std::ofstream(in, std::ios::binary) << text; }
  std::string out;
  FILE* p = popen((std::string("iconv -f ") + from + " -t " + to + " " + in).c_str(), "r");
  char b[4096];
  size_t n;
  while ((n = fread(b, 1, sizeof b, p)) > 0) out.append(b, n);
  pclose(p);
  unlink(in.c_str());
  return out;
}

std::string Gbk(const std::string& utf8) { return Iconv("UTF-8", "GBK", utf8); }
std::string Utf8(const std::string& gbk) { return Iconv("GBK", "UTF-8", gbk); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  std::string l;
  while (std::getline(s, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
  }
  return lines;
}

// The program as a child, its standard error into `errFile`.
class Program : public tesmuro::test::ChildProcess {
 public:
  Program(std::vector<std::string> args, const std::string& errFile)
      : ChildProcess(WithBinary(std::move(args)), errFile) {}

 private:
  static std::vector<std::string> WithBinary(std::vector<std::string> args) {
    args.insert(args.begin(), TESMURO_BIN);
    return args;
  }
};

using tesmuro::test::RawEvent;

// XInput 2 raw key and button events, on a connection of the test's own.
class RawListener : public tesmuro::test::XiRawListener {
 public:
  RawListener() : XiRawListener({XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, XI_RawButtonRelease}) {}
};

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run through tests/linux/run_xvfb.sh";
    dir_ = "/tmp/tesmuro-x11-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("mkdir -p " + dir_).c_str());
    settings_ = dir_ + "/Quorlin.qlset";
    std::ofstream(settings_, std::ios::binary) << tesmuro::FormatSettings(tesmuro::ConstructionSettings());
    d_ = XOpenDisplay(nullptr);
    ASSERT_NE(d_, nullptr);
  }
  void TearDown() override {
    if (d_) XCloseDisplay(d_);
    std::system(("rm -rf " + dir_).c_str());
  }
  void Key(KeySym ks, bool down) {
    XTestFakeKeyEvent(d_, XKeysymToKeycode(d_, ks), down, CurrentTime);
    XSync(d_, False);
  }
  void Tap(KeySym ks) {
    Key(ks, true);
    Key(ks, false);
  }
  // The user's stop key, pressed again while the program has not ended, at
  // most three times; its exit code, or -1. The X server loses a press of a
  // key that is already down on the same device, and the test's presses
  // and the program's go through the one XTEST keyboard: one that comes in
  // the instant the script holds the same key is lost, and a user would
  // press again.
  int StopWith(Program& p, KeySym ks) {
    int code = -1;
    for (int tries = 0; tries < 3 && code == -1; ++tries) {
      Tap(ks);
      code = p.Wait(1s);
    }
    return code;
  }
  void Button(unsigned b, bool down) {
    XTestFakeButtonEvent(d_, b, down, CurrentTime);
    XSync(d_, False);
  }
  std::string Read(const std::string& path) {
    std::string bytes, error;
    tesmuro::linux_files::ReadFile(path, bytes, error);
    return bytes;
  }
  std::string dir_, settings_;
  Display* d_ = nullptr;
};

// Drops the variable parts of key lines (the time stamp) and delays, keeping
// the words and codes.
std::vector<std::string> Shapes(const std::vector<std::string>& lines, std::vector<int>* delays) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.rfind("延迟 ", 0) == 0) {
      if (delays) delays->push_back(std::stoi(l.substr(strlen("延迟 "))));
      continue;
    }
    std::istringstream s(l);
    std::vector<std::string> w;
    std::string x;
    while (s >> x) w.push_back(x);
    if (w.size() == 6 && (w[0].find("按键") != std::string::npos)) w[4] = "T";
    std::string joined;
    for (auto& y : w) joined += (joined.empty() ? "" : " ") + y;
    out.push_back(joined);
  }
  return out;
}

TEST_F(X11Test, RecordingWritesTheWindowsRecordersLinesWithTheServersDelays) {
  RawListener raw;
  const std::string file = dir_ + "/r.crec";
  Program p({"record", file, "--settings", settings_}, dir_ + "/err");
  ASSERT_TRUE(p.Says("开始录制到")) << Read(dir_ + "/err");

  XTestFakeMotionEvent(d_, -1, 321, 123, CurrentTime);
  XSync(d_, False);
  std::this_thread::sleep_for(20ms);
  Button(1, true);
  Button(1, false);
  Button(3, true);
  std::this_thread::sleep_for(15ms);
  Button(3, false);
  Button(2, true);
  Button(2, false);
  Button(4, true);
  Button(4, false);
  Button(5, true);
  Button(5, false);
  Button(6, true);
  Button(6, false);
  Button(8, true);
  Button(8, false);
  Button(9, true);
  Button(9, false);
  Tap(XK_a);
  Key(XK_Shift_L, true);
  Tap(XK_b);
  Key(XK_Shift_L, false);
  Tap(XK_Right);      // extended
  Tap(XK_KP_Enter);   // extended Enter
  Key(XK_Alt_L, true);
  Tap(XK_F4);         // a system key
  Key(XK_Alt_L, false);
  std::this_thread::sleep_for(30ms);
  Key(XK_Control_L, true);
  Tap(XK_Pause);      // Ctrl+Pause is Break (Cancel), which stops too; its press is the last line
  Key(XK_Control_L, false);
  ASSERT_EQ(p.Wait(5s), 0) << Read(dir_ + "/err");

  std::vector<int> delays;
  const std::vector<std::string> got = Shapes(Lines(Utf8(Read(file))), &delays);
  const std::vector<std::string> want = {
      "屏幕 0,0,1280,1024," + got.at(0).substr(got.at(0).rfind(',') + 1),
      "移动 321,123",
      "左键按下", "左键释放", "右键按下", "右键释放", "中键按下", "中键释放",
      "鼠标滚轮 120 0 0", "鼠标滚轮 -120 0 0", "水平滚轮 -120 0 0",
      "后退键按下", "后退键释放", "前进键按下", "前进键释放",
      "按键按下 65 30 0 T 0", "按键弹起 65 30 128 T 0",
      "按键按下 160 42 0 T 0", "按键按下 66 48 0 T 0", "按键弹起 66 48 128 T 0", "按键弹起 160 42 128 T 0",
      "按键按下 39 77 1 T 0", "按键弹起 39 77 129 T 0",
      "按键按下 13 28 1 T 0", "按键弹起 13 28 129 T 0",
      "系统按键按下 164 56 32 T 0", "系统按键按下 115 62 32 T 0", "系统按键弹起 115 62 160 T 0",
      "按键弹起 164 56 128 T 0",
      "按键按下 162 29 0 T 0", "按键按下 3 70 1 T 0"};
  EXPECT_EQ(got, want);

  // Each delay is the difference of the server's time stamps the test's own
  // listener saw (buttons and keys; the move has no raw event here).
  std::vector<Time> times;
  for (const auto& e : raw.Events())
    if (!(e.type == XI_RawButtonRelease && e.detail >= 4 && e.detail <= 7)) times.push_back(e.time);
  // delays: [move, then one per button/key line]; raw: one per button/key event.
  ASSERT_EQ(delays.size(), want.size() - 1);
  ASSERT_GE(times.size(), delays.size() - 2);
  for (size_t i = 2; i < delays.size(); ++i)
    EXPECT_EQ(delays[i], static_cast<int>(times[i - 1] - times[i - 2])) << "line pair " << i;
}

// Game mode: the pointer's relative motion, from XInput 2 raw motion, in
// place of its positions.
struct GameRecording {
  std::vector<std::string> lines;  // without the delays
  std::vector<int> delays;
  int sumX = 0, sumY = 0, relative = 0, moves = 0;
};

GameRecording ReadGameRecording(const std::vector<std::string>& utf8Lines) {
  GameRecording g;
  g.lines = Shapes(utf8Lines, &g.delays);
  for (const auto& l : g.lines) {
    if (l.rfind("相对移动 ", 0) == 0) {
      int dx = 0, dy = 0;
      EXPECT_EQ(std::sscanf(l.c_str() + strlen("相对移动 "), "%d,%d", &dx, &dy), 2) << l;
      g.sumX += dx;
      g.sumY += dy;
      ++g.relative;
    } else if (l.rfind("移动 ", 0) == 0) {
      ++g.moves;
    }
  }
  return g;
}

TEST_F(X11Test, GameModeRecordsTheRelativeMotionInPlaceOfPositions) {
  tesmuro::TSettings s = tesmuro::ConstructionSettings();
  s.GameMode = true;
  std::ofstream(settings_, std::ios::binary) << tesmuro::FormatSettings(s);
  XTestFakeMotionEvent(d_, -1, 400, 300, CurrentTime);  // before: not recorded
  XSync(d_, False);
  const std::string file = dir_ + "/g.crec";
  Program p({"record", file, "--settings", settings_}, dir_ + "/err");
  ASSERT_TRUE(p.Says("开始录制到")) << Read(dir_ + "/err");

  // 12 steps of (3,-2), a click, 8 steps of (-5,4), a right click.
  for (int i = 0; i < 12; ++i) {
    XTestFakeRelativeMotionEvent(d_, 3, -2, CurrentTime);
    XSync(d_, False);
    std::this_thread::sleep_for(2ms);
  }
  std::this_thread::sleep_for(20ms);
  Button(1, true);
  Button(1, false);
  std::this_thread::sleep_for(20ms);
  for (int i = 0; i < 8; ++i) {
    XTestFakeRelativeMotionEvent(d_, -5, 4, CurrentTime);
    XSync(d_, False);
    std::this_thread::sleep_for(2ms);
  }
  std::this_thread::sleep_for(20ms);
  Button(3, true);
  Button(3, false);
  std::this_thread::sleep_for(20ms);
  Tap(XK_Pause);
  ASSERT_EQ(p.Wait(5s), 0) << Read(dir_ + "/err");

  const GameRecording g = ReadGameRecording(Lines(Utf8(Read(file))));
  ASSERT_FALSE(g.lines.empty());
  EXPECT_EQ(g.lines[0].rfind("屏幕 0,0,1280,1024,", 0), 0u) << g.lines[0];
  EXPECT_EQ(g.moves, 0) << "a position was recorded in game mode";
  EXPECT_EQ(g.relative, 20);
  EXPECT_EQ(g.sumX, 12 * 3 - 8 * 5);
  EXPECT_EQ(g.sumY, 12 * -2 + 8 * 4);
  // The lines in the order of the input: the first motion, the click, the
  // second motion, the right click, the stop key.
  std::vector<std::string> order;
  for (const auto& l : g.lines) {
    const std::string word = l.substr(0, l.find(' '));
    if (order.empty() || order.back() != word || word != "相对移动") order.push_back(word);
  }
  const std::vector<std::string> want = {"屏幕", "相对移动", "左键按下", "左键释放", "相对移动",
                                         "右键按下", "右键释放", "按键按下"};
  EXPECT_EQ(order, want);
  ASSERT_EQ(g.delays.size(), g.lines.size() - 1);
  for (int d : g.delays) EXPECT_GE(d, 0);
  // The delays are the server's time stamps: at least the test's pauses
  // between the motions (over 100 ms in all).
  int total = 0;
  for (int d : g.delays) total += d;
  EXPECT_GE(total, 80) << "delays not taken from the server's time stamps";
}

TEST_F(X11Test, TheGameOptionTurnsGameModeOnForOneRun) {
  const std::string file = dir_ + "/o.crec";
  {
    Program p({"record", file, "--game", "--settings", settings_}, dir_ + "/err");
    ASSERT_TRUE(p.Says("开始录制到")) << Read(dir_ + "/err");
    for (int i = 0; i < 5; ++i) {
      XTestFakeRelativeMotionEvent(d_, 1, 2, CurrentTime);
      XSync(d_, False);
    }
    std::this_thread::sleep_for(20ms);
    Tap(XK_Pause);
    ASSERT_EQ(p.Wait(5s), 0) << Read(dir_ + "/err");
  }
  const GameRecording g = ReadGameRecording(Lines(Utf8(Read(file))));
  EXPECT_EQ(g.moves, 0);
  EXPECT_EQ(g.sumX, 5);
  EXPECT_EQ(g.sumY, 10);

  // Without it (and with the settings' game mode off) the positions are recorded.
  const std::string file2 = dir_ + "/o2.crec";
  {
    Program p({"record", file2, "--settings", settings_}, dir_ + "/err2");
    ASSERT_TRUE(p.Says("开始录制到")) << Read(dir_ + "/err2");
    XTestFakeRelativeMotionEvent(d_, 4, 4, CurrentTime);
    XSync(d_, False);
    std::this_thread::sleep_for(20ms);
    Tap(XK_Pause);
    ASSERT_EQ(p.Wait(5s), 0) << Read(dir_ + "/err2");
  }
  const GameRecording g2 = ReadGameRecording(Lines(Utf8(Read(file2))));
  EXPECT_EQ(g2.relative, 0);
  EXPECT_EQ(g2.moves, 1);
}

TEST_F(X11Test, PlayedScriptIsSeenInOrderWithItsValuesAndTiming) {
  RawListener raw;
  const std::string file = dir_ + "/p.crec";
  std::ofstream(file, std::ios::binary) << Gbk(
      "移动 200,300\r\n延迟 40\r\n左键按下\r\n延迟 30\r\n左键释放\r\n延迟 25\r\n"
      "按键按下 65 30 0 0 0\r\n延迟 20\r\n按键弹起 65 30 128 0 0\r\n延迟 10\r\n"
      "按键按下 39 77 1 0 0\r\n按键弹起 39 77 129 0 0\r\n延迟 50\r\n鼠标滚轮 -240 0 0\r\n"
      "延迟 15\r\n后退键按下\r\n后退键释放\r\n");
  Program p({"play", file, "--settings", settings_, "--loops=2"}, dir_ + "/err");
  ASSERT_EQ(p.Wait(10s), 0) << Read(dir_ + "/err");
  std::this_thread::sleep_for(100ms);

  const int a = XKeysymToKeycode(d_, XK_a), right = XKeysymToKeycode(d_, XK_Right);
  struct Want {
    int type, detail, gapMs;
  };
  const std::vector<Want> pass = {
      {XI_RawButtonPress, 1, -1},   {XI_RawButtonRelease, 1, 30}, {XI_RawKeyPress, a, 25},
      {XI_RawKeyRelease, a, 20},    {XI_RawKeyPress, right, 10},  {XI_RawKeyRelease, right, 0},
      {XI_RawButtonPress, 5, 50},   {XI_RawButtonRelease, 5, 0},  {XI_RawButtonPress, 5, 0},
      {XI_RawButtonRelease, 5, 0},  {XI_RawButtonPress, 8, 15},   {XI_RawButtonRelease, 8, 0}};
  const std::vector<RawEvent> got = raw.Events();
  ASSERT_EQ(got.size(), 2 * pass.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].type, pass[i % pass.size()].type) << i;
    EXPECT_EQ(got[i].detail, pass[i % pass.size()].detail) << i;
  }
  // No delay lost: no event comes before the script's schedule, counted from
  // the first event of its pass, by more than the slack of that first event
  // (late on a busy machine, it moves the count's origin) and the server's
  // millisecond clock; the shortest delay (10 ms) is more. A busy machine can
  // only make events late, so lateness is not asserted here: the exact
  // schedule is pinned by the player's tests on a fake clock and measured by
  // the playback benchmark.
  constexpr long kClockCut = 8;
  for (size_t base : {size_t{0}, pass.size()}) {
    long due = 0;
    for (size_t i = 1; i < pass.size(); ++i) {
      due += pass[i].gapMs;
      EXPECT_GE(static_cast<long>(got[base + i].time - got[base].time), due - kClockCut) << "event " << base + i;
    }
  }
  // The second pass starts 40 ms after the last event of the first (its move, then the delay).
  EXPECT_GE(static_cast<long>(got[pass.size()].time - got[pass.size() - 1].time), 40 - kClockCut);
  Window root, child;
  int x, y, wx, wy;
  unsigned mask;
  XQueryPointer(d_, DefaultRootWindow(d_), &root, &child, &x, &y, &wx, &wy, &mask);
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 300);
}

TEST_F(X11Test, OnlyTheUsersPauseStopsAndNothingStaysHeld) {
  const std::string file = dir_ + "/s.crec";
  // The script presses Pause itself and holds Shift and the left button.
  std::ofstream(file, std::ios::binary) << Gbk(
      "按键按下 19 69 0 0 0\r\n按键弹起 19 69 128 0 0\r\n按键按下 160 42 0 0 0\r\n左键按下\r\n延迟 100\r\n");
  Program p({"play", file, "--until-stop", "--settings", settings_}, dir_ + "/err");
  EXPECT_EQ(p.Wait(800ms), -1) << "the script's own Pause stopped it: " << Read(dir_ + "/err");
  // The user's (XTest, as xdotool's would be).
  ASSERT_EQ(StopWith(p, XK_Pause), 1) << Read(dir_ + "/err");

  char keys[32];
  XQueryKeymap(d_, keys);
  const int shift = XKeysymToKeycode(d_, XK_Shift_L);
  EXPECT_FALSE((keys[shift / 8] >> (shift % 8)) & 1) << "Shift left held";
  Window root, child;
  int x, y, wx, wy;
  unsigned mask = 0;
  XQueryPointer(d_, DefaultRootWindow(d_), &root, &child, &x, &y, &wx, &wy, &mask);
  EXPECT_EQ(mask & Button1Mask, 0u) << "left button left held";
}

TEST_F(X11Test, TheSettingsStopKeyStopsAPlaybackButNotWhenTheScriptPressesIt) {
  tesmuro::TSettings s = tesmuro::ConstructionSettings();
  s.ShortCutControl = true;
  s.StopKey = 0x79;  // F10
  std::ofstream(settings_, std::ios::binary) << tesmuro::FormatSettings(s);
  const std::string file = dir_ + "/k.crec";
  std::ofstream(file, std::ios::binary) << Gbk("按键按下 121 68 0 0 0\r\n按键弹起 121 68 128 0 0\r\n延迟 50\r\n");
  Program p({"play", file, "--until-stop", "--settings", settings_}, dir_ + "/err");
  EXPECT_EQ(p.Wait(600ms), -1);
  EXPECT_EQ(StopWith(p, XK_F10), 1) << Read(dir_ + "/err");
}

}  // namespace
