// The main window's file, record and stop commands, through the fake view.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_window.h"
#include "image/png_io.h"
#include "pack/payload.h"
#include "support/gbk_script.h"
#include "support/main_window_fixture.h"
#include "util/file_io.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tesmuro {
namespace {

class CommandsTest : public test::MainWindowFixture {
 protected:
  CommandsTest() { dir.Write("Quorlin.qlset", FormatSettings(ConstructionSettings())); }
  TFrmMain& Window() {
    if (!w) w = std::make_unique<TFrmMain>(Services());
    return *w;
  }
  std::unique_ptr<TFrmMain> w;
};

TEST_F(CommandsTest, NewAsksAndClearsOnlyOnOk) {
  TFrmMain& m = Window();
  m.Document().FileName = "a.crec";
  view.memo = "x\r\n";
  view.caption = "Tesmuro - a.crec";
  view.boxAnswers = {kIdCancel};
  m.SBNewClick();
  EXPECT_EQ(view.memo, "x\r\n");
  EXPECT_EQ(m.Document().FileName, "a.crec");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "是否放弃当前文件，新建新的记录文件？");
  EXPECT_EQ(view.boxes[0].caption, "系统提示");
  EXPECT_EQ(view.boxes[0].style, kMbOkCancel | kMbIconInformation);
  m.SBNewClick();
  EXPECT_EQ(view.memo, "");
  EXPECT_EQ(m.Document().FileName, "");
  EXPECT_EQ(view.caption, "Tesmuro - a.crec") << "the caption keeps the old name";
}

TEST_F(CommandsTest, LoadTurnsEveryLineBreakIntoCrLf) {
  dir.Write("lf.crec", "\xD1\xD3\xB3\xD9 5\n\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2\rx\r\n");
  view.dialogAnswers = {dir.File("lf.crec")};
  Window().SBLoadClick();
  EXPECT_EQ(view.memo, "\xD1\xD3\xB3\xD9 5\r\n\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2\r\nx\r\n");
  EXPECT_EQ(w->Document().FileName, dir.File("lf.crec"));
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("lf.crec"));
}

TEST_F(CommandsTest, LoadOfAMissingFileChangesNothing) {
  Window().Document().FileName = dir.File("old.crec");
  view.memo = "keep\r\n";
  view.dialogAnswers = {dir.File("none.crec")};
  EXPECT_THROW(Window().SBLoadClick(), std::exception);
  EXPECT_EQ(view.memo, "keep\r\n");
  EXPECT_EQ(w->Document().FileName, dir.File("old.crec")) << "a later Save must write where the caption says";
  EXPECT_EQ(view.caption, "Tesmuro");
}

TEST_F(CommandsTest, SaveAsksOnlyWithoutANameAndWritesTheExactBytes) {
  TFrmMain& m = Window();
  view.memo = "\xD1\xD3\xB3\xD9 900\r\n\xD2\xC6\xB6\xAF 640,480\r\n";
  m.SBSaveClick();  // dialog cancelled: nothing happens
  EXPECT_EQ(log.Count("dialog:1"), 1);
  EXPECT_TRUE(m.Document().FileName.empty());
  EXPECT_EQ(dir.FileCount(), 1u);

  view.dialogAnswers = {dir.File("s.crec")};
  m.SBSaveClick();
  EXPECT_EQ(dir.Read("s.crec"), view.memo);
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("s.crec"));
  view.memo += "typed";  // a last line without its line end is saved with one
  m.SBSaveClick();
  EXPECT_EQ(log.Count("dialog:1"), 2) << "a second save does not ask";
  EXPECT_EQ(dir.Read("s.crec"), view.memo + "\r\n");
}

TEST_F(CommandsTest, SaveAsKeepsTheCaptionAndAFailedWriteKeepsTheOldFile) {
  TFrmMain& m = Window();
  view.memo = "new\r\n";
  view.dialogAnswers = {dir.File("t.crec")};
  m.MnuSaveAsClick();
  EXPECT_EQ(dir.Read("t.crec"), "new\r\n");
  EXPECT_EQ(view.caption, "Tesmuro");
  EXPECT_EQ(m.Document().FileName, dir.File("t.crec"));

  view.dialogAnswers = {dir.File("no-such-folder/u.crec")};
  EXPECT_THROW(m.MnuSaveAsClick(), std::exception);
  EXPECT_EQ(m.Document().FileName, dir.File("t.crec")) << "a failed write keeps the name the script had";
}

TEST_F(CommandsTest, ClearKeepsNameAndCaption) {
  TFrmMain& m = Window();
  m.Document().FileName = "a";
  view.memo = "a\r\nb\r\n";
  m.BitBtnClearClick();
  EXPECT_EQ(view.memo, "");
  EXPECT_EQ(m.Document().FileName, "a");
  EXPECT_TRUE(view.boxes.empty());
}

// What the user gets from Record: the screen line, the state, the beep, the
// lines of every recorder and the hot keys of the settings.
TEST_F(CommandsTest, RecordStartsWithTheScreenLineAndRecordsEveryInputUntilTheStopKey) {
  screen = {0, 0, 1920, 1080, 96};
  TFrmMain& m = Window();
  m.Settings.RecordKey = 120;  // F9
  m.Settings.StopKey = 123;    // F12
  m.Settings.ShortCutControl = true;
  m.FormShow();
  joys.numDevs = 16;
  joys.posResults = {{0, 0}, {1, 167}, {2, 0}, {3, 0}};  // three connected, one not
  clock.now = 1000;
  m.SBRecordClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "本系统只支持2个摇杆！");
  EXPECT_EQ(view.boxes[0].style, kMbOk | kMbIconInformation);
  EXPECT_EQ(view.status[0], "录制中");
  EXPECT_EQ(view.miniState, "录制中");
  EXPECT_EQ(log.Count("beep:500:100"), 1);
  EXPECT_EQ(log.Count("capture-mouse"), 1) << "the settings ask for the mouse and key messages";

  MouseHookEvent move;
  move.message = 0x200;
  move.tick = 1100;
  move.x = 5;
  move.y = 6;
  m.Recorder().OnMouseEvent(move);
  clock.now = 1250;
  m.Recorder().OnJoy1ButtonDown(257);
  KeyHookEvent key;
  key.message = 0x100;
  key.vk = 65;
  key.scanCode = 30;
  key.tick = 1300;
  EXPECT_EQ(m.OnKeyEvent(key), HotKeyCommand::None);
  EXPECT_EQ(view.memo,
            "\xC6\xC1\xC4\xBB 0,0,1920,1080,96\r\n\xD1\xD3\xB3\xD9 100\r\n\xD2\xC6\xB6\xAF 5,6\r\n"
            "\xD1\xD3\xB3\xD9 150\r\n\xD2\xA1\xB8\xCB\xB0\xB4\xC5\xA5\xB0\xB4\xCF\xC2 257\r\n"
            "\xD1\xD3\xB3\xD9 50\r\n\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2 65 30 0 0 0\r\n");

  key.vk = 120;
  EXPECT_EQ(m.OnKeyEvent(key), HotKeyCommand::Record);
  m.RunHotKey(HotKeyCommand::Record);  // again: the same hooks go on
  EXPECT_EQ(log.Count("hook:mouse:install"), 1);
  EXPECT_EQ(log.Count("hook:key:install"), 1);
  key.vk = 123;
  EXPECT_EQ(m.OnKeyEvent(key), HotKeyCommand::Stop);
  m.RunHotKey(HotKeyCommand::Stop);
  EXPECT_EQ(view.status[0], "就绪");
  EXPECT_EQ(log.Count("beep:1000:100"), 1);
  const std::size_t lines = view.memo.size();
  m.Recorder().OnMouseEvent(move);
  EXPECT_EQ(view.memo.size(), lines) << "recording is over";
}

TEST_F(CommandsTest, RecordWithTheMouseSwitchedOffRecordsTheKeysAlone) {
  TFrmMain& m = Window();
  m.Settings.RecMouse = false;
  m.Settings.RecMouseMsg = m.Settings.RecKeyMsg = false;
  joys.numDevs = 16;  // a driver, no controller
  m.SBRecordClick();
  EXPECT_EQ(view.status[0], "录制中");
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(log.Count("capture-mouse"), 0);
  MouseHookEvent click;
  click.message = 0x201;
  click.tick = 1100;
  m.Recorder().OnMouseEvent(click);
  KeyHookEvent key;
  key.message = 0x100;
  key.vk = 65;
  key.tick = 1200;
  m.OnKeyEvent(key);
  EXPECT_EQ(view.memo, "\xD1\xD3\xB3\xD9 200\r\n\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2 65 0 0 0 0\r\n");
}

TEST_F(CommandsTest, StopKeepsTheKeyboardHookAndReleasesEverything) {
  TFrmMain& m = Window();
  m.FormShow();
  m.SBRecordClick();
  m.Settings.StopKey = 9;
  log.calls.clear();
  m.SBStopClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"hook:mouse:uninstall", "joy:release:0", "joy:release:1",
                                                 "release-mouse", "beep:1000:100"}));
  EXPECT_FALSE(m.Recorder().Mouse().Recording());
  EXPECT_FALSE(m.Recorder().Keys().Recording());
  EXPECT_TRUE(m.Recorder().Keys().Installed());
  EXPECT_FALSE(m.Recorder().JoyRecording);
  EXPECT_EQ(m.Recorder().Keys().HotStopKey, 9);
}

TEST_F(CommandsTest, ControllerMovesAreFilteredAndKeptAcrossStop) {
  TFrmMain& m = Window();
  m.Recorder().OnJoy1Move(0x00200010u);  // not recording: remembered, nothing written
  EXPECT_EQ(m.Recorder().LastJoyX, 0x10);
  joys.numDevs = 1;
  joys.posResults = {{0, 0}};
  m.SBRecordClick();
  m.Recorder().OnJoy1Move(0x00200010u);
  EXPECT_EQ(view.memo, "") << "an unchanged position adds nothing";
  m.Recorder().OnJoy1Move(0x00300010u);
  m.Recorder().OnJoy1ButtonDown(257);
  EXPECT_EQ(view.memo,
            "\xD1\xD3\xB3\xD9 0\r\n\xD2\xA1\xB8\xCB\xD4\xCB\xB6\xAF 16,48\r\n\xD1\xD3\xB3\xD9 0\r\n"
            "\xD2\xA1\xB8\xCB\xB0\xB4\xC5\xA5\xB0\xB4\xCF\xC2 257\r\n");
}

// 导出为程序: the script is saved first, what will be packed is shown, the
// program goes where the user says and the next export starts there.
TEST_F(CommandsTest, ExportSavesFirstShowsWhatItPacksAndRemembersTheFolder) {
#ifdef _WIN32
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  view.programPath = self;
#else
  view.programPath = "/proc/self/exe";
#endif
  ASSERT_TRUE(image::SavePng(dir.File("p.png"), image::Image(2, 2)));
  std::filesystem::create_directories(std::filesystem::u8path(dir.File("progs")));
  TFrmMain& m = Window();
  view.memo = test::GbkScript("等待图像 \"p.png\" 5\r\n");
  m.TextChangedByUser();
  view.dialogAnswers = {dir.File("s.crec")};
  view.programAnswers = {dir.File("progs/s.exe"), dir.File("progs/t.exe")};
  m.MnuExportClick();
  ASSERT_EQ(view.boxes.size(), 3u);
  EXPECT_EQ(view.boxes[0].text, "导出的是保存在文件中的动作记录，需要先保存。\n现在保存吗？");
  EXPECT_NE(view.boxes[1].text.find("s.crec（"), std::string::npos) << view.boxes[1].text;
  EXPECT_NE(view.boxes[1].text.find("p.png（"), std::string::npos) << view.boxes[1].text;
  EXPECT_EQ(view.boxes[2].text, "已导出：" + dir.File("progs/s.exe"));
  EXPECT_EQ(view.programAsked, (std::vector<std::string>{dir.Str() + "|s.exe"}));
  std::string program;
  ASSERT_TRUE(ReadWholeFile(dir.File("progs/s.exe"), program));
  const pack::PayloadRead r = pack::ReadProgramPayload(program);
  ASSERT_EQ(r.state, pack::PayloadState::Valid) << r.problem;
  EXPECT_EQ(r.payload.script, test::GbkScript("等待图像 \"p.png\" 5\r\n"));

  m.MnuExportClick();
  EXPECT_EQ(view.programAsked.back(), dir.File("progs") + "|s.exe") << "the last export's folder";

  // A picture that is gone: said with its line, nothing asked or written.
  std::filesystem::remove(std::filesystem::u8path(dir.File("p.png")));
  view.boxes.clear();
  m.MnuExportClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "无法导出：第 1 行：找不到图像文件“p.png”。");
  EXPECT_EQ(view.programAsked.size(), 2u);
}

TEST(CountJoysticks, StopsAtTheFirstIdOutOfRangeAndIsBounded) {
  test::CallLog log;
  test::FakeJoysticks j(log);
  j.posResults = {{0, 0}, {1, 167}, {2, 0}};
  EXPECT_EQ(CountJoysticks(j), 2);
  for (unsigned id = 0; id < 40; ++id) j.posResults[id] = 0;  // a service that never says "out of range"
  EXPECT_EQ(CountJoysticks(j), 16);
}

}  // namespace
}  // namespace tesmuro

namespace tesmuro {
namespace {

// Record's controller steps for each kind of joystick service.
TEST_F(CommandsTest, RecordCapturesAsManyControllersAsCounted) {
  struct Case {
    unsigned numDevs;
    std::map<unsigned, unsigned> pos;
    bool recJoy;
    std::vector<std::string> joyCalls;
    bool joyRecording;
  };
  const Case cases[] = {
      {16, {{0, 0}}, true, {"joy:capture:0:0:0", "joy:capture:1:0:0", "joy:capture:0:100:1"}, true},
      {16, {{0, 0}, {1, 0}}, true,
       {"joy:capture:0:0:0", "joy:capture:1:0:0", "joy:capture:0:100:1", "joy:capture:1:100:1"}, true},
      {0, {{0, 0}}, true, {"joy:capture:0:0:0", "joy:capture:1:0:0"}, false},  // no joystick driver
      {16, {{0, 0}}, false, {}, false},                                         // RecJoy off
  };
  for (const auto& c : cases) {
    TFrmMain& m = Window();
    m.Settings.RecJoy = c.recJoy;
    m.Recorder().JoyRecording = false;
    joys.numDevs = c.numDevs;
    joys.posResults = c.pos;
    log.calls.clear();
    m.SBRecordClick();
    std::vector<std::string> joyCalls;
    for (auto& call : log.calls)
      if (call.rfind("joy:", 0) == 0) joyCalls.push_back(call);
    EXPECT_EQ(joyCalls, c.joyCalls) << "devices " << c.numDevs << ", controllers " << c.pos.size();
    EXPECT_EQ(m.Recorder().JoyRecording, c.joyRecording);
    EXPECT_EQ(log.Count("box:本系统只支持2个摇杆！"), 0);
    m.SBStopClick();
  }
}

TEST_F(CommandsTest, ControllerPositionIsKeptAcrossStopAndRecord) {
  TFrmMain& m = Window();
  joys.numDevs = 1;
  joys.posResults = {{0, 0}};
  m.SBRecordClick();
  m.Recorder().OnJoy1Move(0x00050004u);
  m.SBStopClick();
  m.Recorder().OnJoy1Move(0x00050004u);  // reported while stopped: nothing, and nothing new
  view.memo.clear();
  m.SBRecordClick();
  m.Recorder().OnJoy1Move(0x00050004u);
  EXPECT_EQ(view.memo, "") << "the same position as before Stop adds no line";
  m.Recorder().OnJoy1Move(0x00050009u);
  EXPECT_NE(view.memo.find("\xD2\xA1\xB8\xCB\xD4\xCB\xB6\xAF 9,5"), std::string::npos);
}

}  // namespace
}  // namespace tesmuro
