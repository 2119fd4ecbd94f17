#include "setup/auto_run.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace tesmuro::setup {
namespace {

// A registry that records every call by the key's full name.
class FakeRegistry : public IRegistry {
 public:
  std::vector<std::string> calls;
  std::set<std::string> failCreate, failOpen;
  bool failSet = false;
  std::map<std::string, std::string> values;  // "key:name" -> data

  bool CreateKey(Key parent, std::string_view path, Key& key) override {
    return Open("create", parent, path, key, failCreate);
  }
  bool OpenKey(Key parent, std::string_view path, Key& key) override {
    return Open("open", parent, path, key, failOpen);
  }
  bool SetString(Key key, std::string_view name, std::string_view data) override {
    calls.push_back("set " + names_.at(key) + ":" + std::string(name) + "=" + std::string(data));
    if (failSet) return false;
    values[names_.at(key) + ":" + std::string(name)] = data;
    return true;
  }
  void CloseKey(Key key) override {
    calls.push_back("close " + names_.at(key));
    names_.erase(key);
  }
  size_t OpenKeys() const { return names_.size() - 1; }

 private:
  bool Open(const char* what, Key parent, std::string_view path, Key& key, const std::set<std::string>& fail) {
    const std::string full = names_.at(parent) + "\\" + std::string(path);
    calls.push_back(std::string(what) + " " + full);
    if (fail.count(full)) return false;
    key = next_++;
    names_[key] = full;
    return true;
  }
  std::map<Key, std::string> names_{{kLocalMachine, "HKLM"}};
  Key next_ = 100;
};

constexpr char kCv[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kRun[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kExe = "C:\\Program Files\\Tesmuro\\Tesmuro.exe";

class SetupAutoRun : public ::testing::Test {
 protected:
  struct Box { std::string text, caption; unsigned style; };
  std::vector<Box> boxes;
  ShowMessageFn show = [this](std::string_view t, std::string_view c, unsigned s) {
    boxes.push_back({std::string(t), std::string(c), s});
    return 1;
  };
  FakeRegistry reg;

  std::vector<std::string> Expected(const std::string& data) {
    return {std::string("create ") + kCv, std::string("create ") + kRun, std::string("close ") + kRun,
            std::string("open ") + kRun,  "set " + std::string(kRun) + ":Quorlin=" + data,
            std::string("close ") + kRun, std::string("close ") + kCv};
  }
};

TEST_F(SetupAutoRun, ValueFollowsTheCheckBoxEveryTime) {
  UpdateAutoRun(reg, true, kExe, show);
  EXPECT_EQ(reg.calls, Expected(kExe)) << "the path is entered unquoted, spaces and all";
  reg.calls.clear();
  UpdateAutoRun(reg, true, kExe, show);
  EXPECT_EQ(reg.calls, Expected(kExe)) << "a second confirmation simply writes it again";
  reg.calls.clear();
  UpdateAutoRun(reg, false, kExe, show);
  EXPECT_EQ(reg.calls, Expected("")) << "cleared: the value stays, with empty data";
  EXPECT_EQ(reg.values.at(std::string(kRun) + ":Quorlin"), "");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(reg.OpenKeys(), 0u);
}

TEST_F(SetupAutoRun, CurrentVersionThatCannotBeOpenedIsReported) {
  reg.failCreate.insert(kCv);
  UpdateAutoRun(reg, true, kExe, show);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "不能打开系统注册表！SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  EXPECT_EQ(boxes[0].caption, "系统提示");
  EXPECT_EQ(boxes[0].style, kMbOk | kMbIconError);
  EXPECT_EQ(reg.calls, (std::vector<std::string>{std::string("create ") + kCv}));
}

TEST_F(SetupAutoRun, FailuresAfterThatThrowOrPassSilentlyAndCloseTheKeys) {
  {
    FakeRegistry r;
    r.failCreate.insert(kRun);
    try {
      UpdateAutoRun(r, true, kExe, show);
      FAIL() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Failed to create key Run");
    }
    EXPECT_EQ(r.calls, (std::vector<std::string>{std::string("create ") + kCv, std::string("create ") + kRun,
                                                 std::string("close ") + kCv}));
  }
  {
    FakeRegistry r;
    r.failOpen.insert(kRun);
    EXPECT_NO_THROW(UpdateAutoRun(r, true, kExe, show));
    EXPECT_EQ(r.calls, (std::vector<std::string>{std::string("create ") + kCv, std::string("create ") + kRun,
                                                 std::string("close ") + kRun, std::string("open ") + kRun,
                                                 std::string("close ") + kCv}));
  }
  {
    FakeRegistry r;
    r.failSet = true;
    try {
      UpdateAutoRun(r, false, kExe, show);
      FAIL() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Failed to set data for 'Quorlin'");
    }
    EXPECT_EQ(r.calls, Expected(""));
    EXPECT_EQ(r.OpenKeys(), 0u);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SetupAutoRun, ConfirmSetsTheResultBeforeTheUpdate) {
  int result = 0;
  reg.failSet = true;
  EXPECT_THROW(ConfirmSetup(result, reg, true, kExe, show), std::runtime_error);
  EXPECT_EQ(result, 1) << "an error in the update does not keep the dialog open";
}

}  // namespace
}  // namespace tesmuro::setup
