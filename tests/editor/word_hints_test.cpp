#include "editor/word_hints.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "editor/fold_rules.h"
#include "script/word_reader.h"
#include "util/file_io.h"
#include "util/text.h"

namespace tesmuro::editor {
namespace {

std::string Gbk(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) out += CodePointToGbk(NextCodePoint(utf8, i));
  return out;
}

TEST(WordHints, TypingTheStartOfAWordOffersTheWordsThatBeginSo) {
  // 等 offers the four wait words (the control word 等待按键 among them), sorted.
  const std::string list = GbkToUtf8(CompletionList(Gbk("等")));
  EXPECT_EQ(list, GbkToUtf8(CompletionList(Gbk("等待"))));
  for (const char* w : {"等待窗口", "等待颜色", "等待图像", "等待按键"})
    EXPECT_NE(list.find(w), std::string::npos) << list;
  EXPECT_EQ(list.find("延迟"), std::string::npos);
  // 如果 is offered with 如果不, though typed in full; 如果不 alone is not.
  EXPECT_EQ(GbkToUtf8(CompletionList(Gbk("如果"))), "如果 如果不");
  EXPECT_EQ(CompletionList(Gbk("如果不")), "");
  // Half a character (a lead byte) still narrows by bytes; nothing typed or nothing fitting offers nothing.
  EXPECT_EQ(CompletionList(""), "");
  EXPECT_EQ(CompletionList("x"), "");
  EXPECT_EQ(CompletionList(Gbk("移动x")), "");
}

TEST(WordHints, EveryWordOfTheReaderAndEveryControlWordIsOffered) {
  for (std::string_view w : script::KnownWords()) EXPECT_NE(FindWordHint(w), nullptr) << GbkToUtf8(w);
  for (const char* w : {"如果", "如果不", "否则", "结束如果", "重复", "结束重复", "跳出重复", "标签", "跳到", "调用",
                        "结束播放", "等待按键"})
    EXPECT_NE(FindWordHint(Gbk(w)), nullptr) << w;
  // F1 opens the page at the word's place: the help has that place.
  std::string path = TESMURO_SOURCE_DIR "/help/";
#ifdef _WIN32
  if (path.starts_with('/')) path = "Z:" + path;
#endif
  for (const WordHint& h : WordHints()) {
    const std::string page(h.page.substr(0, h.page.find('#')));
    std::string html;
    ASSERT_TRUE(ReadWholeFile(path + page, html)) << GbkToUtf8(h.word) << ": " << page;
    if (h.page.find('#') == std::string_view::npos) continue;
    const std::string anchor = "id=\"" + std::string(h.page.substr(h.page.find('#') + 1)) + "\"";
    EXPECT_NE(html.find(anchor), std::string::npos) << GbkToUtf8(h.word) << ": " << h.page;
  }
}

// The README's words table: word (in backquotes, several to a cell) -> arguments.
std::map<std::string, std::string> ReadmeArguments() {
  std::string path = TESMURO_SOURCE_DIR "/README.md";
#ifdef _WIN32
  if (path.starts_with('/')) path = "Z:" + path;
#endif
  std::string readme;
  std::map<std::string, std::string> args;
  if (!ReadWholeFile(path, readme)) return args;
  size_t at = readme.find("\n## Script words\n");
  if (at == std::string::npos) return args;
  at = readme.find("\n|", at);
  while (at != std::string::npos && at + 1 < readme.size() && readme[at + 1] == '|') {
    const size_t end = readme.find('\n', at + 1);
    const std::string line = readme.substr(at + 1, end - at - 1);
    const size_t bar1 = line.find('|', 1), bar2 = line.find('|', bar1 + 1);
    const std::string cell = line.substr(1, bar1 - 1);
    const std::string arg(Trim(line.substr(bar1 + 1, bar2 - bar1 - 1)));
    for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
      const size_t close = cell.find('`', open + 1);
      if (close == std::string::npos) break;
      args[cell.substr(open + 1, close - open - 1)] = arg;
      open = close + 1;
    }
    at = end;
  }
  return args;
}

TEST(WordHints, CallTipsGiveTheArgumentsTheReadmeTableGives) {
  EXPECT_EQ(GbkToUtf8(CallTip(Gbk("等待图像")).value_or("")), "等待图像 \"FILE\" TOLERANCE SECONDS [L,T,W,H]");
  EXPECT_FALSE(CallTip(Gbk("左键按下")));  // nothing to offer
  EXPECT_FALSE(CallTip(Gbk("等待")));      // not a word
  const auto readme = ReadmeArguments();
  ASSERT_FALSE(readme.empty());
  for (const auto& [word, args] : readme) {
    const WordHint* h = FindWordHint(Gbk(word));
    if (!h) continue;  // the reader's test says whether the table and the reader agree
    EXPECT_EQ(std::string(h->args), args) << word;
  }
}

TEST(WordHints, TheWordAtTheCaret) {
  const std::string line = Gbk("  延迟 350");
  size_t start = 99;
  EXPECT_EQ(WordAt(line, 3, &start), Gbk("延迟"));  // inside the word
  EXPECT_EQ(start, 2u);
  EXPECT_EQ(WordAt(line, 6), Gbk("延迟"));  // right after it
  EXPECT_EQ(WordAt(line, line.size()), "350");
  EXPECT_EQ(WordAt(line, 0), "");
  EXPECT_EQ(WordAt("", 5), "");
}

// Folds of a script's lines, line after line, each told the first line after it that is not a delay.
std::vector<FoldLine> Folds(std::initializer_list<const char*> lines) {
  std::vector<FoldKind> kinds;
  for (const char* l : lines) kinds.push_back(FoldKindOf(Gbk(l)));
  std::vector<FoldLine> out;
  FoldState s;
  for (size_t i = 0; i < kinds.size(); ++i) {
    size_t next = i + 1;
    while (next < kinds.size() && kinds[next] == FoldKind::Delay) ++next;
    out.push_back(NextFoldLine(s, kinds[i], next < kinds.size() ? kinds[next] : FoldKind::Other));
    s = out.back().after;
  }
  return out;
}

TEST(FoldRules, BlocksFoldWithTheLineThatClosesThem) {
  const auto f = Folds({"左键按下", "如果 等待窗口 \"记事本\" 5", "重复 3", "按键按下 65 30 0 0 0", "结束重复",
                        "否则", "延迟 10", "结束如果", "左键释放"});
  const int levels[] = {0, 0, 1, 2, 2, 0, 1, 1, 0};
  const bool headers[] = {false, true, true, false, false, true, false, false, false};
  for (size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].level, levels[i]) << "line " << i + 1;
    EXPECT_EQ(f[i].header, headers[i]) << "line " << i + 1;
  }
  EXPECT_EQ(f.back().after.depth, 0);
  // Unbalanced closers never go below the outermost level; openers stop deepening at the cap.
  EXPECT_EQ(Folds({"结束如果", "否则", "结束重复", "左键按下"}).back().level, 0);
  FoldState deep{kMaxFoldDepth, 0};
  const FoldLine tooDeep = NextFoldLine(deep, FoldKind::Open);
  EXPECT_FALSE(tooDeep.header);
  EXPECT_EQ(tooDeep.after.depth, kMaxFoldDepth);
}

TEST(FoldRules, AStretchOfRecordedMovesFoldsOnceItHoldsTwoMoves) {
  const auto f = Folds({"左键按下", "移动 1,1", "延迟 16", "移动 2,2", "延迟 16", "相对移动 1,0", "左键释放",
                        "移动 5,5", "延迟 10", "左键按下", "  移动 6,6"});
  // The stretch's first move stands for it, and opens it as another move follows.
  EXPECT_EQ(f[1].level, 0);
  EXPECT_TRUE(f[1].header);
  for (int i : {2, 3, 4, 5}) EXPECT_EQ(f[i].level, 1) << i;
  for (int i : {2, 3, 4, 5, 6}) EXPECT_FALSE(f[i].header) << i;
  EXPECT_EQ(f[6].level, 0);
  // One move and a delay: no fold.
  EXPECT_FALSE(f[7].header);
  EXPECT_EQ(f[8].level, 1);
  EXPECT_EQ(f[9].level, 0);
  // A move with a move ahead opens a stretch, unless a stretch is going on.
  EXPECT_TRUE(NextFoldLine({}, FoldKind::Move, FoldKind::Move).header);
  EXPECT_FALSE(NextFoldLine({0, 1}, FoldKind::Move, FoldKind::Move).header) << "inside a stretch";
  EXPECT_EQ(f[10].after.stretchMoves, 1);  // leading spaces do not hide the word
  // The state survives the box's line state.
  for (const FoldLine& l : f) EXPECT_EQ(FoldState::Unpack(l.after.Pack()), l.after);
  EXPECT_EQ(GbkToUtf8(MoveStretchText(312)), "移动 × 312");
}

TEST(FoldRules, StretchesFoldInsideBlocks) {
  const auto f = Folds({"重复", "移动 1,1", "移动 2,2", "结束重复"});
  EXPECT_EQ(f[1].level, 1);
  EXPECT_TRUE(f[1].header);
  EXPECT_EQ(f[2].level, 2);
  EXPECT_EQ(f[3].level, 1);  // the closer ends the stretch and belongs to the loop
  EXPECT_EQ(f[3].after, (FoldState{0, 0}));
}

}  // namespace
}  // namespace tesmuro::editor
