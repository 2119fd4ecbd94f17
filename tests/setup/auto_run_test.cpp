#include "setup/auto_run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace tesmuro::setup {
namespace {

// Two hives, each with one Run key, whose rights a test sets. Like the
// system, a key opened to read can't be written through.
class FakeRegistry : public IRegistry {
 public:
  struct Hive {
    std::map<std::string, std::string> values;  // of the Run key
    bool runKeyExists = true;
    bool mayWrite = true;      // opening to write is refused without the right
    bool setFails = false;     // opened, but setting a value fails
    bool deleteFails = false;  // opened, but deleting a value fails
  };
  std::map<Key, Hive> hives{{kLocalMachine, {}}, {kCurrentUser, {}}};
  int opens = 0;
  int changes = 0;  // values set or deleted

  Hive& Machine() { return hives.at(kLocalMachine); }
  Hive& User() { return hives.at(kCurrentUser); }
  size_t OpenKeys() const { return open_.size(); }

  bool OpenKey(Key parent, std::string_view path, Access access, Key& key) override {
    ++opens;
    EXPECT_EQ(path, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    Hive& h = hives.at(parent);
    if (access == Access::Write) {
      if (!h.mayWrite) return false;
      h.runKeyExists = true;
    } else if (!h.runKeyExists) {
      return false;
    }
    key = next_++;
    open_[key] = {parent, access};
    return true;
  }
  std::optional<std::string> ReadString(Key key, std::string_view name) override {
    const auto& values = hives.at(open_.at(key).hive).values;
    const auto it = values.find(std::string(name));
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool SetString(Key key, std::string_view name, std::string_view data) override {
    Hive& h = Writable(key);
    if (h.setFails) return false;
    ++changes;
    h.values[std::string(name)] = data;
    return true;
  }
  bool DeleteValue(Key key, std::string_view name) override {
    Hive& h = Writable(key);
    if (h.deleteFails) return false;
    changes += static_cast<int>(h.values.erase(std::string(name)));
    return true;
  }
  void CloseKey(Key key) override { EXPECT_EQ(open_.erase(key), 1u) << "closed twice or never opened"; }

 private:
  struct Opened {
    Key hive;
    Access access;
  };
  Hive& Writable(Key key) {
    const Opened& o = open_.at(key);
    EXPECT_EQ(o.access, Access::Write) << "written through a key opened to read";
    return hives.at(o.hive);
  }
  std::map<Key, Opened> open_;
  Key next_ = 100;
};

const std::string kExe = "C:\\My Tools\\Tesmuro.exe";
const std::string kQuoted = "\"C:\\My Tools\\Tesmuro.exe\"";
const std::map<std::string, std::string> kNoValues;

class SetupAutoRun : public ::testing::Test {
 protected:
  struct Box {
    std::string text, caption;
    unsigned style;
  };
  std::vector<Box> boxes;
  ShowMessageFn show = [this](std::string_view t, std::string_view c, unsigned s) {
    boxes.push_back({std::string(t), std::string(c), s});
    return 1;
  };
  FakeRegistry reg;

  bool Update(bool on, const std::string& exe = kExe) {
    const bool r = UpdateAutoRun(reg, on, exe, show);
    EXPECT_EQ(reg.OpenKeys(), 0u) << "a key left open";
    return r;
  }
  std::map<std::string, std::string> Only(const std::string& data) { return {{"Quorlin", data}}; }
  void ExpectOneBox(const char* text, unsigned icon) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, "系统提示");
    EXPECT_EQ(boxes[0].style, kMbOk | icon);
    boxes.clear();
  }
};

TEST_F(SetupAutoRun, CheckedWritesThePathInQuotesToTheMachinesRunKey) {
  EXPECT_TRUE(Update(true));
  EXPECT_EQ(reg.Machine().values, Only(kQuoted)) << "unquoted, C:\\My.exe would run at log-on";
  EXPECT_EQ(reg.User().values, kNoValues);
  EXPECT_TRUE(Update(true)) << "a second confirmation writes it again";
  EXPECT_EQ(reg.Machine().values, Only(kQuoted));
  EXPECT_TRUE(boxes.empty());

  // An old unquoted value is replaced; the user's own entry from an earlier
  // confirmation without the rights goes, so the program starts once.
  reg.Machine().values = Only(kExe);
  reg.User().values = Only(kQuoted);
  reg.User().values["Other"] = "x.exe";
  EXPECT_TRUE(Update(true));
  EXPECT_EQ(reg.Machine().values, Only(kQuoted));
  EXPECT_EQ(reg.User().values, (std::map<std::string, std::string>{{"Other", "x.exe"}}));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SetupAutoRun, WithoutTheRightsForTheMachineTheUsersRunKeyIsUsedAndTheUserTold) {
  for (bool refusedAtOpen : {true, false}) {
    SCOPED_TRACE(refusedAtOpen ? "key refused" : "value refused");
    reg = FakeRegistry();
    reg.Machine().mayWrite = !refusedAtOpen;
    reg.Machine().setFails = !refusedAtOpen;
    reg.Machine().values = Only("");  // as earlier versions left it
    EXPECT_TRUE(Update(true));
    EXPECT_EQ(reg.User().values, Only(kQuoted));
    EXPECT_EQ(reg.Machine().values, Only(""));
    ExpectOneBox("没有管理员权限，不能为本机所有用户设置开机自启动，已改为只在当前用户登录时自启动。",
                 kMbIconInformation);
  }
}

TEST_F(SetupAutoRun, NothingWrittenAnywhereIsReportedAndLeavesTheSwitchOff) {
  reg.Machine().mayWrite = false;
  reg.User().setFails = true;
  EXPECT_FALSE(Update(true));
  EXPECT_EQ(reg.Machine().values, kNoValues);
  EXPECT_EQ(reg.User().values, kNoValues);
  ExpectOneBox("不能写入系统注册表，开机自启动没有设置。", kMbIconError);

  reg.User().setFails = false;
  reg.User().mayWrite = false;
  EXPECT_FALSE(Update(true));
  ExpectOneBox("不能写入系统注册表，开机自启动没有设置。", kMbIconError);
}

TEST_F(SetupAutoRun, WithoutTheProgramsPathNothingIsWrittenAndTheUserIsTold) {
  reg.Machine().values = Only(kQuoted);
  EXPECT_FALSE(Update(true, ""));
  ExpectOneBox("找不到本程序的路径，开机自启动没有设置。", kMbIconError);
  EXPECT_EQ(reg.changes, 0);
  EXPECT_EQ(reg.opens, 0);
  EXPECT_EQ(reg.Machine().values, Only(kQuoted));
}

TEST_F(SetupAutoRun, ClearedRemovesTheValueFromBothKeysWhateverItHolds) {
  reg.Machine().values = Only(kExe);  // unquoted, from an earlier version
  reg.Machine().values["Other"] = "x.exe";
  reg.User().values = Only(kQuoted);
  EXPECT_FALSE(Update(false));
  EXPECT_EQ(reg.Machine().values, (std::map<std::string, std::string>{{"Other", "x.exe"}}));
  EXPECT_EQ(reg.User().values, kNoValues);
  EXPECT_TRUE(boxes.empty());

  // Where there was no value, none is made (earlier versions wrote an empty one).
  EXPECT_FALSE(Update(false));
  EXPECT_EQ(reg.Machine().values.count("Quorlin"), 0u);
  EXPECT_EQ(reg.User().values, kNoValues);
  EXPECT_EQ(reg.changes, 2);
  EXPECT_TRUE(boxes.empty());
  // Without a Run key at all there is nothing to remove.
  reg.Machine().runKeyExists = reg.User().runKeyExists = false;
  reg.Machine().mayWrite = false;
  EXPECT_FALSE(Update(false));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SetupAutoRun, AValueThatStillStartsTheProgramAfterClearingIsReported) {
  // The machine's key can be read, not written: a value with a path stays.
  reg.Machine().mayWrite = false;
  reg.Machine().values = Only(kExe);
  reg.User().values = Only(kQuoted);
  EXPECT_FALSE(Update(false));
  EXPECT_EQ(reg.User().values, kNoValues) << "the user's value goes all the same";
  EXPECT_EQ(reg.Machine().values, Only(kExe));
  ExpectOneBox("没有权限删除注册表中的开机自启动项，本程序仍会随系统启动。", kMbIconError);

  // A value with empty data starts nothing: no message.
  reg.Machine().values = Only("");
  EXPECT_FALSE(Update(false));
  EXPECT_TRUE(boxes.empty());

  // A delete that fails in the user's key is reported too.
  reg.Machine().values.clear();
  reg.User().values = Only(kQuoted);
  reg.User().deleteFails = true;
  EXPECT_FALSE(Update(false));
  ExpectOneBox("没有权限删除注册表中的开机自启动项，本程序仍会随系统启动。", kMbIconError);
}

TEST_F(SetupAutoRun, ConfirmSetsTheResultFirstAndReturnsWhatTookEffect) {
  int result = 0;
  reg.Machine().mayWrite = reg.User().mayWrite = false;
  EXPECT_FALSE(ConfirmSetup(result, reg, true, kExe, show));
  EXPECT_EQ(result, 1) << "a failed update does not keep the dialog open";
  ExpectOneBox("不能写入系统注册表，开机自启动没有设置。", kMbIconError);

  result = 0;
  reg.User().mayWrite = true;
  EXPECT_TRUE(ConfirmSetup(result, reg, true, kExe, show));
  EXPECT_EQ(result, 1);
  result = 0;
  EXPECT_FALSE(ConfirmSetup(result, reg, false, kExe, show));
  EXPECT_EQ(result, 1);
}

TEST(AutoRunCommand, QuotesThePathWhatItHolds) {
  EXPECT_EQ(AutoRunCommand("C:\\Tesmuro.exe"), "\"C:\\Tesmuro.exe\"");
  EXPECT_EQ(AutoRunCommand("D:\\程序 文件\\a b\\Tesmuro.exe"), "\"D:\\程序 文件\\a b\\Tesmuro.exe\"");
}

}  // namespace
}  // namespace tesmuro::setup
