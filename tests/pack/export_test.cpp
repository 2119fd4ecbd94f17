#include "pack/export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "../play/player_fakes.h"
#include "image/png_io.h"
#include "pack/packed_runner.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "util/file_io.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tesmuro::pack {
namespace {

std::string OwnProgramPath() {
#ifdef _WIN32
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
#else
  return "/proc/self/exe";
#endif
}

std::string Png() {
  test::TempDir dir;
  EXPECT_TRUE(image::SavePng(dir.File("p.png"), image::Image(4, 4, 0xFF00FF00u)));
  return dir.Read("p.png");
}

PayloadRead ReadProgram(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
  return ReadProgramPayload(bytes);
}

TEST(Export, WritesTheProgramWithItsPayloadOnceAndRefusesWhatWouldLoseAFile) {
  test::TempDir dir;
  dir.Write("pic.png", Png());
  dir.Write("main.crec", play::test::Gbk("等待图像 \"pic.png\" 5 10\r\n延迟 10\r\n"));
  TSettings settings = ConstructionSettings();
  settings.ShortCutControl = true;
  settings.StopKey = 0x7B;
  settings.ShutAfterLoops = true;
  play::RunRequest request;
  request.loops = 3;
  request.speedPercent = 200;
  const PackedRun run = PackedRunFor(settings, request);
  EXPECT_EQ(run.options.loopCount, 3);
  EXPECT_FALSE(run.options.shutAfterLoops) << "an exported program never shuts the computer down";

  const ExportPlan plan = PlanExport(dir.File("main.crec"), run);
  ASSERT_EQ(plan.error, "");
  ASSERT_EQ(plan.payload.files.size(), 1u);
  EXPECT_EQ(plan.payload.scriptName, "main.crec");
  ASSERT_EQ(WriteExportedProgram(OwnProgramPath(), plan.payload, dir.File("out.exe"), dir.File("main.crec")), "");
  const PayloadRead r = ReadProgram(dir.File("out.exe"));
  ASSERT_EQ(r.state, PayloadState::Valid) << r.problem;
  EXPECT_EQ(r.payload, plan.payload);
  std::string self, out;
  ASSERT_TRUE(ReadWholeFile(OwnProgramPath(), self) && ReadWholeFile(dir.File("out.exe"), out));
  EXPECT_EQ(out.size(), self.size() + WritePayload(plan.payload).size()) << "the program and the payload, nothing more";

  // Exported again from the exported program: its own payload is replaced, not stacked.
  Payload other = plan.payload;
  other.script = "x";
  ASSERT_EQ(WriteExportedProgram(dir.File("out.exe"), other, dir.File("again.exe")), "");
  EXPECT_EQ(ReadProgram(dir.File("again.exe")).payload, other);

  EXPECT_NE(WriteExportedProgram(OwnProgramPath(), plan.payload, dir.File("main.crec"), dir.File("main.crec")), "");
  EXPECT_EQ(dir.Read("main.crec"), play::test::Gbk("等待图像 \"pic.png\" 5 10\r\n延迟 10\r\n"));

  // A picture that is gone refuses the export with its line.
  dir.Write("gone.crec", play::test::Gbk("延迟 1\r\n点击图像 \"none.png\" 5\r\n"));
  EXPECT_EQ(PlanExport(dir.File("gone.crec"), run).error, "第 2 行：找不到图像文件“none.png”");
  EXPECT_NE(PlanExport(dir.File("nothing.crec"), run).error, "");
}

TEST(Export, PackedFilesAreFoundAsTheRunNamesThemAndNothingElse) {
  const PackedFiles files({{"pics/a.png", "A"}, {"sub/b.crec", "B"}});
  auto read = [&](const std::string& path) {
    UniqueFile f(files.Open(path));
    if (!f) return std::string("(none)");
    std::string s(16, '\0');
    s.resize(std::fread(s.data(), 1, s.size(), f.get()));
    return s;
  };
  EXPECT_EQ(read("pics\\a.png"), "A");
  EXPECT_EQ(read("sub/./x/../b.crec"), "B");
  EXPECT_EQ(read("PICS/A.PNG"), "A") << "as a Windows disk would find it";
  EXPECT_EQ(read("a.png"), "(none)");
  EXPECT_EQ(read("/pics/a.png"), "(none)");

  const PackedPlay play = PlayOf({"s.crec", "script", {{"pics/a.png", "A"}}, {}});
  EXPECT_EQ(play.source.bytes, "script");
  EXPECT_TRUE(play.source.path.empty()) << "played from the payload, not a file";
  EXPECT_EQ(play.options.scriptFolder, "");
  ASSERT_TRUE(play.options.files);
}

TEST(Export, ExtractWritesEveryFileInsideTheFolderAndNeverOverAnExistingOne) {
  test::TempDir dir;
  Payload p;
  p.scriptName = "main.crec";
  p.script = "S";
  p.files = {{"pics/a.png", "A"}, {"../up.png", "U"}, {"C:/abs/c.png", "C"}, {"main.crec", "S"}};
  ASSERT_EQ(ExtractPayload(p, dir.File("out")), "");
  EXPECT_EQ(dir.Read("out/main.crec"), "S");
  EXPECT_EQ(dir.Read("out/pics/a.png"), "A");
  EXPECT_EQ(dir.Read("out/__/up.png"), "U");
  EXPECT_EQ(dir.Read("out/_/C_/abs/c.png"), "C");
  EXPECT_FALSE(dir.Exists("up.png"));

  std::filesystem::create_directories(dir.File("again2/pics"));
  dir.Write("again2/pics/a.png", "mine");
  EXPECT_NE(ExtractPayload(p, dir.File("again2")), "");
  EXPECT_EQ(dir.Read("again2/pics/a.png"), "mine");
  EXPECT_FALSE(dir.Exists("again2/main.crec")) << "nothing written when one is in the way";
}

TEST(Export, WhatTheProgramCarriesInWords) {
  EXPECT_EQ(SizeText(1023), "1023 字节");
  EXPECT_EQ(SizeText(1024 + 512), "1.5 KB");
  EXPECT_EQ(SizeText(3 * 1024 * 1024 + 300 * 1024), "3.3 MB");
  PackedRun run;
  run.options.loopMode = play::LoopMode::Timed;
  run.options.loopTotalSeconds = 3661;
  run.options.speedPercent = 150;
  run.options.gameMode = true;
  run.hotKeys = true;
  run.stopKey = 0x7B;
  const std::string t = DescribeOptions(run);
  EXPECT_NE(t.find("循环播放 1:01:01，1.5 倍速"), std::string::npos) << t;
  EXPECT_NE(t.find("游戏模式"), std::string::npos) << t;
  EXPECT_NE(t.find("按 Pause 停止，或按 F12"), std::string::npos) << t;
  run.hotKeys = false;
  EXPECT_EQ(DescribeOptions(run).find("F12"), std::string::npos) << "a stop key that is off is not offered";
}

// An exported program's runner over a recording sink, fake hooks and a
// virtual clock; the payload is set before Runner().
struct RunnerRig {
  PackedRunner Runner() {
    return PackedRunner(payload, [this] {
      return std::make_unique<play::TRunThread>(sink, shutdown, std::make_unique<play::test::FakePlayClock>());
    }, hooks, clock);
  }
  play::test::RecordingSink sink;
  play::test::FakeShutdown shutdown;
  test::CallLog log;
  test::FakeHooks hooks{log};
  test::FakeClock clock;
  Payload payload;
};

// The exported program's run: the user's Pause and the packed stop key stop
// it with exit code 1; the script's own keys never do.
TEST(PackedRunner, StopsOnTheUsersKeysAndTellsItsExitCode) {
  for (const bool byStopKey : {false, true}) {
    RunnerRig rig;
    Payload& p = rig.payload;
    p.scriptName = "loop.crec";
    p.script = play::test::Gbk("延迟 10\r\n左键按下\r\n延迟 10\r\n左键释放\r\n");
    p.run.options.loopMode = play::LoopMode::UntilStop;
    p.run.hotKeys = true;
    p.run.stopKey = 0x7B;  // F12
    PackedRunner runner = rig.Runner();
    test::FakeHooks& hooks = rig.hooks;
    EXPECT_EQ(runner.Title(), "正在播放 loop.crec … 按 Pause 停止");
    ASSERT_TRUE(runner.Start(0));
    EXPECT_TRUE(hooks.keyInstalled);
    KeyHookEvent key;
    key.message = 0x100;
    key.vk = byStopKey ? 0x7B : 0x13;
    key.flags = 0x10;  // injected: the script's own
    runner.OnKeyEvent(key);
    EXPECT_FALSE(runner.Ended());
    EXPECT_EQ(runner.ProgressText(0).rfind("播放 第", 0), 0u) << runner.ProgressText(0);
    key.flags = 0;
    runner.OnKeyEvent(key);
    while (!runner.Ended()) std::this_thread::yield();
    EXPECT_EQ(runner.ExitCode(), play::kExitStopped);
  }
}

// A packed script that waits for the user's key goes on when the user presses it.
TEST(PackedRunner, TheUsersKeyReachesAWaitForIt) {
  RunnerRig rig;
  rig.payload.scriptName = "step.crec";
  rig.payload.script = play::test::Gbk("等待按键 F8\r\n移动 1,1\r\n");
  PackedRunner runner = rig.Runner();
  ASSERT_TRUE(runner.Start(0));
  KeyHookEvent key;
  key.vk = 0x77;  // F8, pressed and let go until the run has taken a press
  for (int i = 0; i < 1000000 && !runner.Ended(); ++i) {
    key.message = (i % 2) ? 0x101 : 0x100;
    runner.OnKeyEvent(key);
    std::this_thread::yield();
  }
  ASSERT_TRUE(runner.Ended());
  EXPECT_EQ(runner.ExitCode(), play::kExitPlayed);
  EXPECT_EQ(rig.sink.calls, std::vector<std::string>{"cursor 1,1"});
}

}  // namespace
}  // namespace tesmuro::pack
