// 截取图像: the name proposed beside the script, the line put in at the
// caret, and every way out of the command leaving script and files as they
// were, with the window back.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_window.h"
#include "app/picture_capture.h"
#include "editor/box_rules.h"
#include "image/png_io.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "util/file_io.h"

namespace tesmuro {
namespace {

// 等待图像 in GBK.
constexpr char kWaitImage[] = "\xB5\xC8\xB4\xFD\xCD\xBC\xCF\xF1";
// 图像 in GBK.
constexpr char kPictureGbk[] = "\xCD\xBC\xCF\xF1";

TEST(PictureCapture, ProposedNamesSkipFilesThatExist) {
  test::TempDir dir;
  auto exists = [](const std::string& p) { return UniqueFile(OpenFile(p, "rb")) != nullptr; };
  EXPECT_EQ(capture::ProposeName(dir.Str(), exists), "图像1.png");
  dir.Write("图像1.png", "x");
  dir.Write("图像3.png", "x");
  EXPECT_EQ(capture::ProposeName(dir.Str(), exists), "图像2.png");
  dir.Write("图像2.png", "x");
  EXPECT_EQ(capture::ProposeName(dir.Str() + "/", exists), "图像4.png");
  // Windows folders are asked with their own separator.
  std::vector<std::string> asked;
  capture::ProposeName("C:\\s", [&](const std::string& p) { asked.push_back(p); return false; });
  EXPECT_EQ(asked, std::vector<std::string>{"C:\\s\\图像1.png"});
}

TEST(PictureCapture, TheScriptNamesAPictureRelativeToItsFolderWhenItLiesInside) {
  EXPECT_EQ(capture::NameInFolder("C:\\scripts", "C:\\scripts\\图像1.png"), "图像1.png");
  EXPECT_EQ(capture::NameInFolder("C:\\Scripts", "c:\\scripts\\pics\\b.png"), "pics\\b.png");
  EXPECT_EQ(capture::NameInFolder("C:\\", "C:\\b.png"), "b.png");
  EXPECT_EQ(capture::NameInFolder("/tmp/x", "/tmp/x/b.png"), "b.png");
  // Another folder, even one whose name starts the same, stays whole.
  EXPECT_EQ(capture::NameInFolder("C:\\scripts", "C:\\scripts2\\b.png"), "C:\\scripts2\\b.png");
  EXPECT_EQ(capture::NameInFolder("C:\\scripts", "D:\\b.png"), "D:\\b.png");
}

TEST(PictureCapture, TheLineQuotesTheNameAndGivesTheArea) {
  EXPECT_EQ(capture::WaitImageLine("图像1.png", 10, {-1920, 40, 32, 16}),
            std::string(kWaitImage) + " \"" + kPictureGbk + "1.png\" 0 10 -1920,40,32,16");
  EXPECT_EQ(capture::WaitImageLine("my pic\\a.png", 3, {0, 0, 1, 1}),
            std::string(kWaitImage) + " \"my\\spic\\\\a.png\" 0 3 0,0,1,1");
}

TEST(PictureCapture, TheLineStandsOnALineOfItsOwnWhereverTheCaretIs) {
  EXPECT_EQ(editor::LineAtCaret("L", /*atLineStart=*/true, /*textAfter=*/false), "L\r\n");  // empty line, end
  EXPECT_EQ(editor::LineAtCaret("L", true, true), "L\r\n");    // the line there moves down
  EXPECT_EQ(editor::LineAtCaret("L", false, false), "\r\nL");  // after the end of a line
  EXPECT_EQ(editor::LineAtCaret("L", false, true), "\r\nL\r\n");  // inside a line: split
}

// The view of a user who drags `area` over the screen and answers the dialogs.
class CaptureView : public test::FakeView {
 public:
  using FakeView::FakeView;
  std::optional<CapturedArea> taken;  // nothing: the user gives up on the frozen screen
  std::optional<std::string> pictureAnswer;
  std::string askedFolder, askedName;
  std::vector<std::string> inserted;
  test::CallLog* log = nullptr;

  std::optional<CapturedArea> CaptureArea() override {
    log->Add(mainVisible ? "capture:window-in-the-way" : "capture");
    return taken;
  }
  std::optional<std::string> AskPictureFile(std::string_view folder, std::string_view name) override {
    log->Add("picture-dialog");
    askedFolder = folder;
    askedName = name;
    return pictureAnswer;
  }
  void InsertLineAtCaret(std::string_view gbk) override { inserted.emplace_back(gbk); }
};

class CaptureCommandTest : public ::testing::Test {
 protected:
  CaptureCommandTest() {
    dir.Write("Quorlin.qlset", FormatSettings(ConstructionSettings()));
    view.log = &log;
    view.taken = IMainView::CapturedArea{{100, -20, 3, 2}, image::Image(3, 2, 0xFF102030u)};
    view.taken->picture.At(2, 1) = 0xFFFFFFFFu;
  }
  TFrmMain& Window() {
    if (!w) w = std::make_unique<TFrmMain>(MainWindowServices{view, clock, hooks, joys, dir.Str(), test::IdlePlayers()});
    return *w;
  }
  // A script saved as dir/s.crec, shown in the box.
  TFrmMain& WithSavedScript() {
    TFrmMain& m = Window();
    dir.Write("s.crec", "x\r\n");
    view.dialogAnswers = {dir.File("s.crec")};
    m.SBLoadClick();
    log.calls.clear();
    return m;
  }
  // Nothing changed: the script, its state, the folder's files, the window.
  void ExpectNothingChanged(TFrmMain& m, size_t files) {
    EXPECT_TRUE(view.inserted.empty());
    EXPECT_FALSE(m.Document().Modified());
    EXPECT_EQ(dir.FileCount(), files);
    EXPECT_TRUE(view.mainVisible);
  }

  test::TempDir dir;
  test::CallLog log;
  CaptureView view{log};
  test::FakeClock clock;
  test::FakeHooks hooks{log};
  test::FakeJoysticks joys{log};
  std::unique_ptr<TFrmMain> w;
};

TEST_F(CaptureCommandTest, SavesThePictureBesideTheScriptAndPutsItsWaitAtTheCaret) {
  TFrmMain& m = WithSavedScript();
  dir.Write("图像1.png", "taken");
  view.pictureAnswer = dir.File("图像2.png");
  m.MnuCaptureImageClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"main:hide", "capture", "main:show", "picture-dialog"}));
  EXPECT_EQ(view.askedFolder, dir.Str());
  EXPECT_EQ(view.askedName, "图像2.png");
  const auto saved = image::LoadPng(dir.File("图像2.png"));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->width, 3);
  EXPECT_EQ(saved->pixels, view.taken->picture.pixels);
  ASSERT_EQ(view.inserted.size(), 1u);
  EXPECT_EQ(view.inserted[0], std::string(kWaitImage) + " \"" + kPictureGbk + "2.png\" 0 10 100,-20,3,2");
  EXPECT_TRUE(m.Document().Modified()) << "the new line is unsaved";
  EXPECT_EQ(dir.Read("s.crec"), "x\r\n");
}

TEST_F(CaptureCommandTest, TheSettingsWaitLimitIsTheLinesLimitUnlessItIsZero) {
  TSettings s = ConstructionSettings();
  s.WaitWindowSeconds = 25;
  dir.Write("Quorlin.qlset", FormatSettings(s));
  TFrmMain& m = WithSavedScript();
  view.pictureAnswer = dir.File("a.png");
  m.MnuCaptureImageClick();
  m.Settings.WaitWindowSeconds = 0;
  view.pictureAnswer = dir.File("b.png");
  m.MnuCaptureImageClick();
  ASSERT_EQ(view.inserted.size(), 2u);
  EXPECT_NE(view.inserted[0].find("\"a.png\" 0 25 "), std::string::npos) << view.inserted[0];
  EXPECT_NE(view.inserted[1].find("\"b.png\" 0 10 "), std::string::npos) << view.inserted[1];
}

TEST_F(CaptureCommandTest, GivingUpOnTheScreenOrTheDialogChangesNothing) {
  TFrmMain& m = WithSavedScript();
  const auto taken = view.taken;
  view.taken.reset();
  m.MnuCaptureImageClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"main:hide", "capture", "main:show"}));
  ExpectNothingChanged(m, 2);

  log.calls.clear();
  view.taken = taken;
  view.pictureAnswer.reset();
  m.MnuCaptureImageClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"main:hide", "capture", "main:show", "picture-dialog"}));
  ExpectNothingChanged(m, 2);

  // A picture that cannot be written says so and puts in no line.
  view.pictureAnswer = dir.File("no-such-folder/p.png");
  m.MnuCaptureImageClick();
  ASSERT_FALSE(view.boxes.empty());
  EXPECT_EQ(view.boxes.back().text, std::string(capture::kCannotSavePicture) + dir.File("no-such-folder/p.png"));
  ExpectNothingChanged(m, 2);
}

TEST_F(CaptureCommandTest, AScriptWithoutAFileIsSavedFirstOrNothingHappens) {
  TFrmMain& m = Window();
  view.memo = "typed\r\n";
  m.Document().ChangedByUser();
  log.calls.clear();
  // Cancel at the question, then in the Save dialog: no capture, no files.
  view.boxAnswers = {kIdCancel, kIdOk};
  m.MnuCaptureImageClick();
  m.MnuCaptureImageClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"box:" + std::string(capture::kAskSaveScriptFirst),
                                                 "box:" + std::string(capture::kAskSaveScriptFirst), "dialog:1"}));
  EXPECT_EQ(view.memo, "typed\r\n");
  EXPECT_TRUE(m.Document().Modified());
  EXPECT_EQ(dir.FileCount(), 1u);

  // Saved through the normal Save: the picture goes into the folder chosen for it.
  log.calls.clear();
  std::filesystem::create_directories(std::filesystem::u8path(dir.File("sub")));
  view.boxAnswers = {kIdOk};
  view.dialogAnswers = {dir.File("sub/new.crec")};
  view.pictureAnswer = dir.File("sub/图像1.png");
  m.MnuCaptureImageClick();
  EXPECT_EQ(dir.Read("sub/new.crec"), "typed\r\n");
  EXPECT_EQ(m.Document().FileName, dir.File("sub/new.crec"));
  EXPECT_EQ(view.askedFolder, dir.File("sub"));
  EXPECT_TRUE(dir.Exists("sub/图像1.png"));
  ASSERT_EQ(view.inserted.size(), 1u);
  EXPECT_NE(view.inserted[0].find(std::string("\"") + kPictureGbk + "1.png\""), std::string::npos);
}

TEST_F(CaptureCommandTest, NotWhileRecording) {
  TFrmMain& m = WithSavedScript();
  m.SBRecordClick();
  log.calls.clear();
  m.MnuCaptureImageClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"box:" + std::string(capture::kNotWhileRunning)}));
  m.SBStopClick();
}

}  // namespace
}  // namespace tesmuro
