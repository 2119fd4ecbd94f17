// Playback that waits for pictures on the screen, on a virtual clock and a
// fake desktop whose screen a test paints.
#include <gtest/gtest.h>

#include <filesystem>

#include "image/png_io.h"
#include "pack/packed_files.h"
#include "util/file_io.h"
#include "play/playback_session.h"
#include "play/run_thread.h"
#include "play/stop_reason.h"
#include "player_fakes.h"

namespace tesmuro::play {
namespace {

using namespace test;
using V = std::vector<std::string>;
constexpr int64_t kMs = 1000;

// A picture of 6x4 unlike anything else on the screen.
image::Image Picture() {
  image::Image p(6, 4);
  for (size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x0A1B2Cu);
  return p;
}

struct ImageRig {
  ImageRig() {
    folder = std::filesystem::temp_directory_path() /
             ("tesmuro-image-wait-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(image::SavePng((folder / "pic.png").string(), Picture()));
    auto owned = std::make_unique<FakePlayClock>();
    clock = owned.get();
    ownedClock = std::move(owned);
    sink.clock = clock;
    sink.desktop = &desktop;
    sink.screen = {-100, -50, 300, 200, 96};  // the virtual screen begins left of and above 0
    desktop.capture = [this](const DesktopRect& a) {
      areas.push_back(a);
      image::Image shot(a.width, a.height);
      for (int32_t y = 0; y < a.height; ++y)
        for (int32_t x = 0; x < a.width; ++x) {
          const int32_t sx = a.left + x + 100, sy = a.top + y + 50;
          if (sx >= 0 && sy >= 0 && sx < screen.width && sy < screen.height) shot.At(x, y) = screen.At(sx, sy);
        }
      if (lookCost) clock->Advance(lookCost);
      if (lookCostPerPixel) clock->Advance(int64_t{a.width} * a.height * lookCostPerPixel / 1000);
      return shot;
    };
    o.scriptFolder = folder.string();
  }
  ~ImageRig() { std::filesystem::remove_all(folder); }
  // Shows the picture with its top-left corner at a desktop point (or
  // paints the background over it).
  void Show(int32_t x, int32_t y, bool shown = true) {
    const image::Image p = Picture();
    for (int32_t j = 0; j < p.height; ++j)
      for (int32_t i = 0; i < p.width; ++i) screen.At(x + 100 + i, y + 50 + j) = shown ? p.At(i, j) : 0xFF3A6EA5u;
  }
  std::unique_ptr<TRunThread> Player() {
    auto t = std::make_unique<TRunThread>(sink, sys, std::move(ownedClock));
    clock->onStuck = [p = t.get()] { p->RequestStop(true); };
    return t;
  }
  std::unique_ptr<TRunThread> Run(const std::string& script) {
    auto t = Player();
    t->Start(TempScript(script), o);
    t->WaitFor();
    return t;
  }
  std::filesystem::path folder;
  FakePlayClock* clock;
  std::unique_ptr<FakePlayClock> ownedClock;
  RecordingSink sink;
  FakeDesktop desktop;
  FakeShutdown sys;
  RunOptions o;
  image::Image screen{300, 200, 0xFF3A6EA5u};
  int64_t lookCost = 0;
  int64_t lookCostPerPixel = 0;  // thousandths of a microsecond a pixel captured
  std::vector<DesktopRect> areas;  // of every capture
};

TEST(ImageWait, AClickWaitsForThePictureInItsAreaThenLooksNearItsLastPlaceFirstAndTheFileIsNotReadAgain) {
  ImageRig r;
  r.Show(-90, -40);  // there from the start, outside the first wait's area
  r.clock->At(1000 * kMs, [&] { std::filesystem::remove(r.folder / "pic.png"); });
  r.clock->At(2000 * kMs, [&] { r.Show(50, 30); });
  // Then it is found near its last place, by a small capture; once gone from
  // there, on the whole screen, the first place in reading order.
  r.clock->At(2150 * kMs, [&] { r.Show(50, 30, false); });
  const auto t = r.Run("点击图像 \"pic.png\" 0 10 0,0,200,150\r\n延迟 100\r\n点击图像 \"pic.png\" 0 10\r\n"
                       "延迟 100\r\n点击图像 \"pic.png\" 0 10\r\n");
  EXPECT_FALSE(t->WhyStopped());
  EXPECT_EQ(r.sink.calls, (V{"cursor 53,32", "left down 53 32", "left up 53 32", "cursor 53,32", "left down 53 32",
                             "left up 53 32", "cursor -87,-38", "left down -87 -38", "left up -87 -38"}));
  const auto downs = r.sink.TimesOf("left down");
  ASSERT_EQ(downs.size(), 3u);
  EXPECT_GE(downs[0], 2000 * kMs);
  EXPECT_LE(downs[0], 2050 * kMs) << "looked at every 50 ms";
  EXPECT_EQ(downs[1], downs[0] + 100 * kMs) << "the wait moved what follows back, no catching up";
  ASSERT_EQ(r.desktop.captures, 41 + 1 + 2);
  EXPECT_EQ(r.areas[0], (DesktopRect{0, 0, 200, 150}));
  const DesktopRect nearLast{50 - 32, 30 - 32, 6 + 64, 4 + 64};
  EXPECT_EQ(r.areas[41], nearLast);
  EXPECT_EQ(r.areas[42], nearLast);
  EXPECT_EQ(r.areas[43], (DesktopRect{-100, -50, 300, 200}));
}

// Our own window over what a colour or picture wait looks at steps aside
// before the first look (here the only one) and comes back after the run;
// one that stands elsewhere stays.
TEST(ImageWait, OurOwnWindowOverTheLookedAtPlaceStepsAsideForTheRun) {
  ImageRig r;
  r.Show(50, 30);
  TopWindow over, apart;
  over.id = 9, apart.id = 8;
  over.own = apart.own = true;
  over.rect = {40, 20, 60, 40};
  apart.rect = {-100, -50, 10, 10};
  r.desktop.windows = {over, apart};
  const auto paint = r.desktop.capture;
  r.desktop.capture = [&r, paint](const DesktopRect& a) {
    auto shot = paint(a);
    const TopWindow& w = r.desktop.windows[0];
    for (int32_t y = 0; shot && !w.minimized && y < a.height; ++y)
      for (int32_t x = 0; x < a.width; ++x)
        if (w.rect.Contains(a.left + x, a.top + y)) shot->At(x, y) = 0xFF808080u;
    return shot;
  };
  r.desktop.pixel = [&r](int32_t, int32_t) { return r.desktop.windows[0].minimized ? 0xC04010u : 0x808080u; };
  r.o.waitLimitSeconds = 0;  // one look each, no waiting
  const auto t = r.Run("等待颜色 60,30 C04010 0 0\r\n移动 0,0\r\n点击图像 \"pic.png\" 0 0 0,0,200,150\r\n");
  EXPECT_FALSE(t->WhyStopped());
  EXPECT_EQ(r.sink.calls, (V{"cursor 0,0", "cursor 53,32", "left down 53 32", "left up 53 32"}));
  EXPECT_EQ(r.desktop.log, (V{"aside 9", "back 9"}));
}

TEST(ImageWait, AnAbsentPictureEndsTheRunAtTheLimitWithCode4AndLooksAtMostATenthOfTheTime) {
  ImageRig r;
  r.lookCost = 20 * kMs;  // each look takes 20 ms: the wait spaces them out
  const std::string script = (r.folder / "run.crec").string();
  {
    std::FILE* f = std::fopen(script.c_str(), "wb");
    ASSERT_TRUE(f);
    const std::string text = Gbk("延迟 5\r\n等待图像 \"pic.png\" 0 3\r\n左键按下\r\n");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  PlaybackSession session([&] { return r.Player(); });
  RunOptions o;  // the picture is found beside the script
  ASSERT_EQ(session.Start(ScriptSource::File(script), o, 0), PlaybackSession::StartResult::Started);
  session.Player()->WaitFor();
  EXPECT_EQ(session.Outcome(), RunOutcome::WaitTimedOut);
  const auto why = session.Player()->WhyStopped();
  ASSERT_TRUE(why);
  EXPECT_EQ(StopReasonText(*why), "第 2 行：等待图像“pic.png”超过 3 秒，回放已停止");
  EXPECT_TRUE(r.sink.calls.empty());
  const int64_t elapsed = r.clock->Elapsed() - 5 * kMs;
  EXPECT_GE(elapsed, 3000 * kMs);
  EXPECT_LE(elapsed, 3000 * kMs + 20 * kMs);
  EXPECT_LE(r.desktop.captures * r.lookCost, elapsed / 10 + r.lookCost) << r.desktop.captures << " looks";
  EXPECT_GE(r.desktop.captures, 14);
}

TEST(ImageWait, NearItsLastPlaceACheapLookGoesEvery50MsWhileTheWholeScreenKeepsToATenthOfTheTime) {
  ImageRig r;
  r.lookCostPerPixel = 333;  // the whole screen 20 ms, near the last place (70x68) 1.6 ms
  r.Show(50, 30);
  r.clock->At(10 * kMs, [&] { r.Show(50, 30, false); });
  const auto t = r.Run("等待图像 \"pic.png\" 0 3\r\n延迟 20\r\n等待图像 \"pic.png\" 0 3\r\n");
  ASSERT_TRUE(t->WhyStopped());
  EXPECT_EQ(StopReasonText(*t->WhyStopped()), "第 3 行：等待图像“pic.png”超过 3 秒，回放已停止");
  int nears = 0, wholes = 0;
  for (size_t i = 1; i < r.areas.size(); ++i) (r.areas[i].width == 300 ? wholes : nears)++;
  const int64_t spent = nears * 1585 + wholes * 19980;  // the advance per capture, in microseconds
  EXPECT_LE(spent, 3000 * kMs / 10 + 20 * kMs) << nears << " near, " << wholes << " whole";
  EXPECT_GE(nears, 55) << "one every 50 ms and a bit";
  EXPECT_GE(wholes, 10) << "the rest of the tenth: (300 ms - the near looks) / 20 ms";
}

TEST(ImageWait, AFileThatIsMissingDamagedOrLargerThanWhereItIsLookedForEndsTheRunOnItsLineAsAnError) {
  // A PNG whose only data chunk is empty and which has no end.
  const std::string damaged("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4"
                            "\x89\0\0\0\0IDAT5\xaf\x06\x1e", 45);
  const struct {
    const char* name;
    const char* area;
    std::string why;
  } cases[] = {{"none.png", "", ""},
               {"text.png", "", ""},
               {"damaged.png", "", ""},
               {"pic.png", " 10,10,5,20", "（图像 6×4 像素，大于查找范围的 5×20）"},
               {"pic.png", " 197,0,50,50", "（图像 6×4 像素，大于查找范围的 3×50）"},  // cut to the screen
               {"wide.png", "", "（图像 301×2 像素，大于查找范围的 300×200）"}};
  for (const auto& c : cases) {
    ImageRig r;
    if (std::FILE* f = std::fopen((r.folder / "text.png").string().c_str(), "wb")) std::fputs("hello", f), std::fclose(f);
    if (std::FILE* f = std::fopen((r.folder / "damaged.png").string().c_str(), "wb"))
      std::fwrite(damaged.data(), 1, damaged.size(), f), std::fclose(f);
    ASSERT_TRUE(image::SavePng((r.folder / "wide.png").string(), image::Image(301, 2)));
    const auto t = r.Run(std::string("等待图像 \"") + c.name + "\" 0 3" + c.area + "\r\n左键按下\r\n");
    ASSERT_TRUE(t->WhyStopped()) << c.name;
    EXPECT_EQ(StopReasonText(*t->WhyStopped()),
              std::string("第 1 行：图像文件无法读取：") + c.name + c.why + "，回放已停止");
    EXPECT_TRUE(t->EndedByError());
    EXPECT_EQ(r.desktop.captures, 0);
    EXPECT_TRUE(r.sink.calls.empty());
  }
  // Read once for the screen, a picture is still refused by a later line
  // whose area it does not fit in.
  ImageRig r;
  r.Show(0, 0);
  const auto t = r.Run("等待图像 \"pic.png\" 0 3\r\n等待图像 \"pic.png\" 0 3 0,0,5,5\r\n");
  ASSERT_TRUE(t->WhyStopped());
  EXPECT_EQ(StopReasonText(*t->WhyStopped()),
            "第 2 行：图像文件无法读取：pic.png（图像 6×4 像素，大于查找范围的 5×5），回放已停止");
}

// An exported program's run reads its pictures from what it carries, never
// from the disk: a file of the same name beside it is not taken.
TEST(ImageWait, ARunWithItsOwnFilesReadsThePictureFromThemOnly) {
  ImageRig r;
  r.Show(50, 30);
  std::string png;
  ASSERT_TRUE(ReadWholeFile((r.folder / "pic.png").string(), png));
  const auto files = std::make_shared<pack::PackedFiles>(std::vector<pack::PackedFile>{{"pics/pic.png", png}});
  r.o.files = files;
  r.o.scriptFolder = "";  // as an exported program plays: names from the packed script's own folder
  const auto t = r.Run("点击图像 \"pics\\\\pic.png\" 0 0\r\n");
  EXPECT_FALSE(t->WhyStopped());
  EXPECT_EQ(r.sink.calls, (V{"cursor 53,32", "left down 53 32", "left up 53 32"}));
  // pic.png is on the disk in the script's folder, but not among the run's files.
  ImageRig disk;
  disk.o.files = files;
  const auto u = disk.Run("点击图像 \"pic.png\" 0 0\r\n");
  ASSERT_TRUE(u->WhyStopped());
  EXPECT_EQ(StopReasonText(*u->WhyStopped()), "第 1 行：图像文件无法读取：pic.png，回放已停止");
}

}  // namespace
}  // namespace tesmuro::play
