// Test scripts written readably in UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "script/control_table.h"
#include "script/script_format.h"

namespace tesmuro::test {

// A script written in UTF-8, with its keywords turned into their GBK bytes;
// everything else is kept as it is.
inline std::string GbkScript(std::string_view utf8) {
  using namespace script;
  static const std::pair<std::string_view, std::string_view> kMap[] = {
      {"延迟", kKeywordDelay}, {"移动", kKeywordMove},
      {"左键按下", kKeywordLeftDown}, {"左键释放", kKeywordLeftUp}, {"左键双击", kKeywordLeftDouble},
      {"右键按下", kKeywordRightDown}, {"右键释放", kKeywordRightUp},
      {"中键按下", kKeywordMiddleDown}, {"中键释放", kKeywordMiddleUp},
      {"鼠标滚轮", kKeywordWheel}, {"按键按下", kKeywordKeyDown}, {"按键弹起", kKeywordKeyUp},
      {"系统按键按下", kKeywordSysKeyDown}, {"系统按键弹起", kKeywordSysKeyUp},
      {"摇杆运动", kKeywordJoyMove}, {"摇杆按钮按下", kKeywordJoyButton},
      {"后退键按下", kKeywordX1Down}, {"后退键释放", kKeywordX1Up}, {"前进键按下", kKeywordX2Down},
      {"前进键释放", kKeywordX2Up}, {"水平滚轮", kKeywordHWheel}, {"相对移动", kKeywordRelMove},
      {"屏幕", kKeywordScreen}, {"窗口", kKeywordWindow}, {"等待窗口", kKeywordWaitWindow},
      {"等待颜色", kKeywordWaitColor}, {"等待图像", kKeywordWaitImage}, {"点击图像", kKeywordClickImage},
      {"随机延迟", kKeywordRandomDelay}, {"输入文本", kKeywordTypeText},
      {"如果不", kWordIfNot}, {"如果", kWordIf}, {"否则", kWordElse}, {"结束如果", kWordEndIf}, {"重复", kWordRepeat},
      {"结束重复", kWordEndRepeat}, {"跳出重复", kWordBreakRepeat}, {"标签", kWordLabel}, {"跳到", kWordJumpTo},
      {"调用", kWordCall}, {"结束播放", kWordEndPlay}, {"等待按键", kKeywordWaitKey}};
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t best = 0;
    std::string_view gbk;
    for (const auto& [u, g] : kMap)
      if (u.size() > best && utf8.substr(i, u.size()) == u) best = u.size(), gbk = g;
    if (best) out += gbk, i += best;
    else out += utf8[i++];
  }
  return out;
}

}  // namespace tesmuro::test
