// Unit tests of the driver library's parsing and matching, run under Wine by the e2e suite.
#include "winlib.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include "menu_walk.h"

using namespace drv;

namespace {

std::wstring round_trip(const std::wstring& arg) {
  const std::wstring cmdline = L"prog.exe " + quote_arg(arg);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(cmdline.c_str(), &argc);
  std::wstring out = argc == 2 ? argv[1] : L"<" + std::to_wstring(argc) + L" arguments>";
  LocalFree(argv);
  return out;
}

TEST(QuoteArg, EveryArgumentSurvivesTheCommandLine) {
  for (const wchar_t* arg : {L"plain", L"two words", L"", L"\"", L"say \"hi\"", L"trailing\\", L"C:\\Program Files\\x\\",
                             L"a\\\\b c", L"\\\"", L"tab\there", L"中文 路径\\记录.crec"}) {
    EXPECT_EQ(arg, round_trip(arg)) << narrow(quote_arg(arg));
  }
}

TEST(QuoteArg, LeavesSimpleArgumentsAlone) {
  EXPECT_EQ(L"C:\\dir\\Tesmuro.exe", quote_arg(L"C:\\dir\\Tesmuro.exe"));
  EXPECT_EQ(L"\"\"", quote_arg(L""));
}

TEST(ParseNumber, DecimalHexAndRejects) {
  long long v = 0;
  EXPECT_TRUE(parse_number(L"65535", v));
  EXPECT_EQ(65535, v);
  EXPECT_TRUE(parse_number(L"0x47c", v));
  EXPECT_EQ(0x47C, v);
  EXPECT_TRUE(parse_number(L"0x0003009C", v));
  EXPECT_EQ(0x3009C, v);
  EXPECT_TRUE(parse_number(L"-1", v));
  EXPECT_EQ(-1, v);
  for (const wchar_t* bad : {L"", L"-", L"0x", L"12a", L"x12", L"0x1G", L"99999999999", L" 1"}) {
    EXPECT_FALSE(parse_number(bad, v)) << narrow(bad);
  }
}

TEST(ChildPath, StepsWithClassIdTextAndIndex) {
  std::vector<ChildStep> steps;
  std::wstring error;
  ASSERT_TRUE(parse_child_path(L"TTabSheet/Edit@100", steps, error));
  ASSERT_EQ(2u, steps.size());
  EXPECT_EQ(L"TTabSheet", steps[0].cls.value_or(L""));
  EXPECT_FALSE(steps[0].id.has_value());
  EXPECT_EQ(L"Edit", steps[1].cls.value_or(L""));
  EXPECT_EQ(100, steps[1].id.value_or(0));

  ASSERT_TRUE(parse_child_path(L"@0x47c", steps, error));
  ASSERT_EQ(1u, steps.size());
  EXPECT_FALSE(steps[0].cls.has_value());
  EXPECT_EQ(0x47C, steps[0].id.value_or(0));

  ASSERT_TRUE(parse_child_path(L"Button~清空[1]", steps, error));
  EXPECT_EQ(L"Button", steps[0].cls.value_or(L""));
  EXPECT_EQ(L"清空", steps[0].text.value_or(L""));
  EXPECT_EQ(1, steps[0].index);

  // The text may hold '@' and ends only at the index.
  ASSERT_TRUE(parse_child_path(L"Static~a@b", steps, error));
  EXPECT_EQ(L"Static", steps[0].cls.value_or(L""));
  EXPECT_EQ(L"a@b", steps[0].text.value_or(L""));
  EXPECT_FALSE(steps[0].id.has_value());

  EXPECT_EQ(L"TTabSheet/Edit@100[2]", (parse_child_path(L"TTabSheet/Edit@100[2]", steps, error), describe_path(steps)));
}

TEST(ChildPath, MalformedPathsAreRefused) {
  std::vector<ChildStep> steps;
  for (const wchar_t* bad : {L"", L"Edit/", L"/Edit", L"Edit@", L"Edit@x1", L"Edit[", L"Edit[-1]", L"Edit[a]"}) {
    std::wstring error;
    EXPECT_FALSE(parse_child_path(bad, steps, error)) << narrow(bad);
    EXPECT_FALSE(error.empty()) << narrow(bad);
  }
}

TEST(Buttons, NamesAndNumbers) {
  EXPECT_EQ(IDOK, button_id(L"ok"));
  EXPECT_EQ(IDCANCEL, button_id(L"Cancel"));
  EXPECT_EQ(IDYES, button_id(L"YES"));
  EXPECT_EQ(IDNO, button_id(L"no"));
  EXPECT_EQ(1148, button_id(L"0x47c"));
  EXPECT_EQ(-1, button_id(L"maybe"));
}

// The menu of the main window as the probe serialises it, with a second "Exit" deeper down.
const wchar_t kMenuText[] =
    L"0\t0\tP\t文件(&File)\n"
    L"1\t301\t-\t新建记录文件(&New)\n"
    L"1\t0\tSD\t\n"
    L"1\t305\t-\t退出本软件(&Exit)\tAlt+X\n"
    L"0\t0\tP\t设置(&Setup)\n"
    L"1\t0\tP\t更多(&More)\n"
    L"2\t401\t-\t退出本软件(&Exit)\n"
    L"2\t402\tDC\t选项\n"
    L"1\t306\t-\t软件设置(S&oftware Setup)\n"
    L"0\t0\tP\t帮助(&Help)\n"
    L"1\t311\t-\t关于本软件(&About)\n";

TEST(Menu, ParsesTheProbeText) {
  std::vector<MenuItem> items;
  ASSERT_TRUE(parse_menu_text(kMenuText, items));
  ASSERT_EQ(11u, items.size());
  EXPECT_TRUE(items[0].popup);
  EXPECT_TRUE(items[2].separator);
  EXPECT_TRUE(items[2].disabled);
  EXPECT_EQ(L"退出本软件(&Exit)\tAlt+X", items[3].caption);  // a tab inside the caption stays
  EXPECT_EQ(305u, items[3].id);
  EXPECT_EQ(2, items[6].depth);
  EXPECT_TRUE(items[7].checked);
  EXPECT_TRUE(items[7].disabled);
  EXPECT_FALSE(parse_menu_text(L"0\t1\t-\n", items));
  EXPECT_FALSE(parse_menu_text(L"x\t1\t-\tA\n", items));
}

TEST(Menu, FindsItemsByCaptionPathWithinTheRightPopup) {
  std::vector<MenuItem> items;
  ASSERT_TRUE(parse_menu_text(kMenuText, items));
  auto id_at = [&](std::vector<std::wstring> path) {
    const int i = find_menu_path(items, path);
    return i < 0 ? -1 : static_cast<int>(items[static_cast<size_t>(i)].id);
  };
  EXPECT_EQ(305, id_at({L"文件(&File)", L"退出本软件(&Exit)"}));
  EXPECT_EQ(305, id_at({L"文件(File)", L"退出本软件(Exit)"}));  // & markers and accelerator text optional
  EXPECT_EQ(401, id_at({L"设置(&Setup)", L"更多(&More)", L"退出本软件(&Exit)"}));
  EXPECT_EQ(306, id_at({L"设置(&Setup)", L"软件设置(S&oftware Setup)"}));  // after a deeper popup
  EXPECT_EQ(-1, id_at({L"设置(&Setup)", L"退出本软件(&Exit)"}));  // only two levels down
  EXPECT_EQ(-1, id_at({L"帮助(&Help)", L"新建记录文件(&New)"}));   // in another popup
  EXPECT_EQ(-1, id_at({L"文件(&File)", L"新建记录文件(&New)", L"x"}));
  EXPECT_EQ(-1, id_at({}));
}

TEST(Menu, CaptionMatching) {
  EXPECT_TRUE(caption_matches(L"另存为(Save &As)", L"另存为(Save As)"));
  EXPECT_TRUE(caption_matches(L"Fish && &Chips", L"Fish & Chips"));
  EXPECT_FALSE(caption_matches(L"另存为(Save &As)", L"另存为"));
  EXPECT_FALSE(caption_matches(L"Open", L"open"));
}

TEST(MenuWalkSink, StopsAtCapacityAndSaysSo) {
  wchar_t buf[8];
  menu_walk::Sink sink{buf, 4, 0, false};
  sink.put(L"ab");
  sink.put_uint(305);
  EXPECT_EQ(4u, sink.len);
  EXPECT_TRUE(sink.overflow);
  EXPECT_EQ(L"ab30", std::wstring(buf, sink.len));
  menu_walk::Sink zero{buf, 8, 0, false};
  zero.put_uint(0);
  EXPECT_EQ(L"0", std::wstring(buf, zero.len));
}

TEST(Text, Utf8RoundTripAndQuoting) {
  const std::wstring s = L"不能打开输入参数文件！ ü";
  EXPECT_EQ(s, widen(narrow(s)));
  EXPECT_EQ("\xE7\xB3\xBB", narrow(L"系"));
  EXPECT_EQ(L"\"a\\n\\\"b\\\"\"", quoted(L"a\n\"b\""));
  EXPECT_EQ(L"0x0003009C", hwnd_text(reinterpret_cast<HWND>(0x3009C)));
}

}  // namespace
