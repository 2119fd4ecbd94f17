// The action script's text: the GBK keywords and the lines the recorders write.
//
// A script is GBK (code page 936) text, one action per line, lines separated by
// CR LF. The keywords below are kept as their GBK bytes so the core never
// depends on the system's code page. The line builders return one line without
// its line end; whoever appends it to the memo adds CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tesmuro::script {

// Keywords, GBK bytes.
inline constexpr std::string_view kKeywordDelay = "\xD1\xD3\xB3\xD9";                             // 延迟
inline constexpr std::string_view kKeywordMove = "\xD2\xC6\xB6\xAF";                              // 移动
inline constexpr std::string_view kKeywordLeftDown = "\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2";          // 左键按下
inline constexpr std::string_view kKeywordLeftUp = "\xD7\xF3\xBC\xFC\xCA\xCD\xB7\xC5";            // 左键释放
inline constexpr std::string_view kKeywordLeftDouble = "\xD7\xF3\xBC\xFC\xCB\xAB\xBB\xF7";        // 左键双击
inline constexpr std::string_view kKeywordRightDown = "\xD3\xD2\xBC\xFC\xB0\xB4\xCF\xC2";         // 右键按下
inline constexpr std::string_view kKeywordRightUp = "\xD3\xD2\xBC\xFC\xCA\xCD\xB7\xC5";           // 右键释放
inline constexpr std::string_view kKeywordRightDouble = "\xD3\xD2\xBC\xFC\xCB\xAB\xBB\xF7";       // 右键双击
inline constexpr std::string_view kKeywordMiddleDown = "\xD6\xD0\xBC\xFC\xB0\xB4\xCF\xC2";        // 中键按下
inline constexpr std::string_view kKeywordMiddleUp = "\xD6\xD0\xBC\xFC\xCA\xCD\xB7\xC5";          // 中键释放
inline constexpr std::string_view kKeywordMiddleDouble = "\xD6\xD0\xBC\xFC\xCB\xAB\xBB\xF7";      // 中键双击
inline constexpr std::string_view kKeywordWheel = "\xCA\xF3\xB1\xEA\xB9\xF6\xC2\xD6";             // 鼠标滚轮
inline constexpr std::string_view kKeywordKeyDown = "\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2";           // 按键按下
inline constexpr std::string_view kKeywordKeyUp = "\xB0\xB4\xBC\xFC\xB5\xAF\xC6\xF0";             // 按键弹起
inline constexpr std::string_view kKeywordSysKeyDown =
    "\xCF\xB5\xCD\xB3\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2";                                           // 系统按键按下
inline constexpr std::string_view kKeywordSysKeyUp =
    "\xCF\xB5\xCD\xB3\xB0\xB4\xBC\xFC\xB5\xAF\xC6\xF0";                                           // 系统按键弹起
inline constexpr std::string_view kKeywordJoyMove = "\xD2\xA1\xB8\xCB\xD4\xCB\xB6\xAF";           // 摇杆运动
inline constexpr std::string_view kKeywordJoyButton =
    "\xD2\xA1\xB8\xCB\xB0\xB4\xC5\xA5\xB0\xB4\xCF\xC2";                                           // 摇杆按钮按下
// Words that later copies added; a reader that does not know them skips them
// with their arguments, so older copies still read newer scripts.
inline constexpr std::string_view kKeywordX1Down = "\xBA\xF3\xCD\xCB\xBC\xFC\xB0\xB4\xCF\xC2";   // 后退键按下
inline constexpr std::string_view kKeywordX1Up = "\xBA\xF3\xCD\xCB\xBC\xFC\xCA\xCD\xB7\xC5";     // 后退键释放
inline constexpr std::string_view kKeywordX2Down = "\xC7\xB0\xBD\xF8\xBC\xFC\xB0\xB4\xCF\xC2";   // 前进键按下
inline constexpr std::string_view kKeywordX2Up = "\xC7\xB0\xBD\xF8\xBC\xFC\xCA\xCD\xB7\xC5";     // 前进键释放
inline constexpr std::string_view kKeywordHWheel = "\xCB\xAE\xC6\xBD\xB9\xF6\xC2\xD6";            // 水平滚轮
inline constexpr std::string_view kKeywordRelMove = "\xCF\xE0\xB6\xD4\xD2\xC6\xB6\xAF";           // 相对移动
inline constexpr std::string_view kKeywordScreen = "\xC6\xC1\xC4\xBB";                             // 屏幕
inline constexpr std::string_view kKeywordWindow = "\xB4\xB0\xBF\xDA";                             // 窗口
inline constexpr std::string_view kKeywordWaitWindow = "\xB5\xC8\xB4\xFD\xB4\xB0\xBF\xDA";         // 等待窗口
inline constexpr std::string_view kKeywordWaitColor = "\xB5\xC8\xB4\xFD\xD1\xD5\xC9\xAB";          // 等待颜色
inline constexpr std::string_view kKeywordWaitImage = "\xB5\xC8\xB4\xFD\xCD\xBC\xCF\xF1";          // 等待图像
inline constexpr std::string_view kKeywordClickImage = "\xB5\xE3\xBB\xF7\xCD\xBC\xCF\xF1";         // 点击图像
inline constexpr std::string_view kKeywordRandomDelay = "\xCB\xE6\xBB\xFA\xD1\xD3\xB3\xD9";        // 随机延迟
inline constexpr std::string_view kKeywordTypeText = "\xCA\xE4\xC8\xEB\xCE\xC4\xB1\xBE";           // 输入文本
inline constexpr std::string_view kKeywordWaitKey = "\xB5\xC8\xB4\xFD\xB0\xB4\xBC\xFC";            // 等待按键

// The lines that carry no argument.
enum class ButtonLine : uint8_t {
  LeftDown, LeftUp, LeftDouble,
  RightDown, RightUp, RightDouble,
  MiddleDown, MiddleUp, MiddleDouble,
  X1Down, X1Up, X2Down, X2Up,  // the side buttons: back (X1) and forward (X2)
};

enum class KeyLineKind : uint8_t { Down, Up, SysDown, SysUp };

std::string_view ButtonKeyword(ButtonLine button);
std::string_view KeyKeyword(KeyLineKind kind);

// "延迟 N"
std::string DelayLine(int32_t ms);
// "移动 X,Y"
std::string MoveLine(int32_t x, int32_t y);
// The button keyword alone.
std::string MouseButtonLine(ButtonLine button);
// "鼠标滚轮 D L H": turn, low and high half of the event flags, all signed.
std::string WheelLine(int16_t turn, int16_t flagsLow, int16_t flagsHigh);
// "水平滚轮 D L H": the horizontal wheel (positive to the right), as WheelLine.
std::string HWheelLine(int16_t turn, int16_t flagsLow, int16_t flagsHigh);
// "相对移动 DX,DY": relative mouse motion, as the mouse reported it.
std::string RelMoveLine(int32_t dx, int32_t dy);
// "屏幕 L,T,W,H,DPI": the virtual screen a recording was made on (physical
// pixels) and the primary monitor's DPI.
std::string ScreenLine(int32_t left, int32_t top, int32_t width, int32_t height, int32_t dpi);
// "<key keyword> V S F T E": key code, scan code, flags, time, extra info, unsigned.
std::string KeyLine(KeyLineKind kind, uint32_t vk, uint32_t scan, uint32_t flags,
                    uint32_t time, uint32_t extra);
// "摇杆运动 X,Y"
std::string JoyMoveLine(int32_t x, int32_t y);
// "摇杆按钮按下 B"
std::string JoyButtonLine(int32_t buttons);

// A text as one quoted token, so that a reader that does not know the word
// before it skips it as one word and never takes any part of it for a
// keyword: '"', the GBK bytes of the text, '"'. Inside, a space is written
// \s, a tab \t, a line break \n or \r, '"' and '\' as \" and \\, and a
// character that GBK cannot hold (or another control character) as \u{HEX},
// its code point. A text whose token would not fit the reader's word of 99
// bytes is cut at a character and written without its closing '"'. `utf8`
// is UTF-8.
std::string QuotedToken(std::string_view utf8);
// The text a quoted token holds, as UTF-8; `cut` tells that the token was cut
// short (no closing '"'). Bytes after the closing '"' are ignored; an escape
// that is not one of the above stands for itself (the player refuses such a
// line: QuotedTokenValid).
std::string UnquoteToken(std::string_view token, bool* cut = nullptr);
// False when a quoted token holds an escape QuotedToken never writes: a '\'
// before any other byte (a GBK byte included), \u without "{HEX}" of one to
// six digits, a surrogate (D800..DFFF) or a code point above 10FFFF. An
// escape that a cut token ends in the middle of is not held against it.
bool QuotedTokenValid(std::string_view token);

// "窗口 SYSTEM "PROCESS" "CLASS" "TITLE" L,T,W,H": the top-level window the
// next action acts on (SYSTEM "win" or "x11"; the texts UTF-8).
std::string WindowLine(std::string_view system, std::string_view process, std::string_view className,
                       std::string_view title, int32_t left, int32_t top, int32_t width, int32_t height);

// Turns every line break (CR LF, a lone CR, a lone LF) into CR LF; other bytes
// are kept as they are.
std::string NormalizeLineBreaks(std::string_view text);

}  // namespace tesmuro::script
