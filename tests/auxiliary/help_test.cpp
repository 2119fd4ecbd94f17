// The Help menu's commands, driven through the fake view.
#include <gtest/gtest.h>

#include "auxiliary/help_commands.h"
#include "support/main_window_fixture.h"

namespace tesmuro::test {
namespace {

TEST(HelpFilePath, FollowsTheProgramsFolderWithItsSeparator) {
  EXPECT_EQ(help::HelpFilePath("C:\\Tools\\"), "C:\\Tools\\Quorlin.chm");
  EXPECT_EQ(help::HelpFilePath("/opt/tesmuro/"), "/opt/tesmuro/Quorlin.chm");
}

TEST(HelpFilePath, AddsTheSeparatorWhenTheFolderHasNone) {
#ifdef _WIN32
  EXPECT_EQ(help::HelpFilePath("C:\\Tools"), "C:\\Tools\\Quorlin.chm");
#else
  EXPECT_EQ(help::HelpFilePath("/opt/tesmuro"), "/opt/tesmuro/Quorlin.chm");
#endif
}

class HelpCommands : public MainWindowFixture {
 protected:
  void SetUp() override {
    dir.Write(kSettingsFileName, "");  // no settings box at construction
    window = std::make_unique<TFrmMain>(Services());
    view.boxes.clear();
    log.calls.clear();
  }
  std::unique_ptr<TFrmMain> window;
};

TEST_F(HelpCommands, MissingHelpFileIsReportedWithItsFullPathAndNothingIsOpened) {
  window->MnuContentClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "不能打开帮助文件" + help::HelpFilePath(dir.Str()));
  EXPECT_EQ(view.boxes[0].text, "不能打开帮助文件" + dir.File("Quorlin.chm"));
  EXPECT_EQ(view.boxes[0].caption, "系统提示");
  EXPECT_EQ(view.boxes[0].style, kMbOk | kMbIconError);
  EXPECT_TRUE(view.shellCalls.empty());
}

TEST_F(HelpCommands, ExistingHelpFileIsOpenedByTheShell) {
  dir.Write("Quorlin.chm", "ITSF");
  window->MnuContentClick();
  EXPECT_TRUE(view.boxes.empty());
  ASSERT_EQ(view.shellCalls.size(), 1u);
  EXPECT_EQ(view.shellCalls[0].verb, "open");
  EXPECT_EQ(view.shellCalls[0].file, dir.File("Quorlin.chm"));
  EXPECT_EQ(view.shellCalls[0].parameters, "");
}

TEST_F(HelpCommands, F1OnAWordOpensItsPlaceInTheHelpFileOrSaysTheFileIsMissing) {
  window->HelpOnWord("words.htm#delay");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "不能打开帮助文件" + dir.File("Quorlin.chm"));
  EXPECT_TRUE(view.shellCalls.empty());
  dir.Write("Quorlin.chm", "ITSF");
  window->HelpOnWord("words.htm#delay");
  ASSERT_EQ(view.shellCalls.size(), 1u);
  EXPECT_EQ(view.shellCalls[0].file, "hh.exe");
  EXPECT_EQ(view.shellCalls[0].parameters, "\"" + dir.File("Quorlin.chm") + "::/words.htm#delay\"");
}

TEST_F(HelpCommands, AFolderNamedLikeTheHelpFileIsNoHelpFile) {
  std::filesystem::create_directories(std::filesystem::u8path(dir.File("Quorlin.chm")));
  window->MnuContentClick();
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_TRUE(view.shellCalls.empty());
}

TEST_F(HelpCommands, OnlyTheHelpFilesOwnNameCounts) {
  dir.Write("Tesmuro.chm", "ITSF");  // named after the program: not the help file
  window->MnuContentClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_TRUE(view.shellCalls.empty());
}

TEST_F(HelpCommands, HomePageStartsInternetExplorerWithTheAddressOnly) {
  window->MnuVHostClick();
  ASSERT_EQ(view.shellCalls.size(), 1u);
  EXPECT_EQ(view.shellCalls[0].verb, "");
  EXPECT_EQ(view.shellCalls[0].file, "iexplore");
  EXPECT_EQ(view.shellCalls[0].parameters, help::kHomePage);
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(HelpCommands, AboutShowsTheAboutBoxEachTime) {
  window->MnuAboutClick();
  window->MnuAboutClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"about:show", "about:show"}));
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_TRUE(view.shellCalls.empty());
}

}  // namespace
}  // namespace tesmuro::test
