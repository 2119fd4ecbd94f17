#include "util/shortcut.h"

#include <cstdio>

#include "util/text.h"

namespace tesmuro {

namespace {

struct KeyName {
  uint8_t vk;
  const char* name;
};

// The keys with a name of their own (letters, digits and F1..F24 are made
// from their codes). The first name of a key is the one written.
constexpr KeyName kNames[] = {
    {0x03, "Cancel"},     {0x08, "Backspace"},  {0x09, "Tab"},          {0x0C, "Clear"},
    {0x0D, "Enter"},      {0x0D, "Return"},     {0x13, "Pause"},        {0x13, "Break"},
    {0x14, "CapsLock"},   {0x1B, "Esc"},        {0x1B, "Escape"},       {0x20, "Space"},
    {0x21, "PageUp"},     {0x21, "PgUp"},       {0x22, "PageDown"},     {0x22, "PgDn"},
    {0x23, "End"},        {0x24, "Home"},       {0x25, "Left"},         {0x26, "Up"},
    {0x27, "Right"},      {0x28, "Down"},       {0x2C, "PrintScreen"},  {0x2D, "Insert"},
    {0x2D, "Ins"},        {0x2E, "Delete"},     {0x2E, "Del"},          {0x5B, "LWin"},
    {0x5C, "RWin"},       {0x5D, "Apps"},       {0x6A, "Num*"},         {0x6B, "Num+"},
    {0x6D, "Num-"},       {0x6E, "Num."},       {0x6F, "Num/"},         {0x90, "NumLock"},
    {0x91, "ScrollLock"}, {0xBA, ";"},          {0xBB, "="},            {0xBC, ","},
    {0xBD, "-"},          {0xBE, "."},          {0xBF, "/"},            {0xC0, "`"},
    {0xDB, "["},          {0xDC, "\\"},         {0xDD, "]"},            {0xDE, "'"},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string VkName(uint8_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, static_cast<char>(vk));
  if (vk >= 0x60 && vk <= 0x69) return "Num" + std::string(1, static_cast<char>('0' + vk - 0x60));
  if (vk >= 0x70 && vk <= 0x87) return "F" + ToDec(vk - 0x70 + 1);
  for (const KeyName& k : kNames)
    if (k.vk == vk) return k.name;
  char hex[8];
  std::snprintf(hex, sizeof hex, "VK%02X", vk);
  return hex;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<uint8_t> VkByName(std::string_view name) {
  if (name.size() == 1) {
    const char c = name[0];
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c);
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c);
  }
  if (name.size() == 4 && SameText(name.substr(0, 3), "num") && AllDigits(name.substr(3)))
    return static_cast<uint8_t>(0x60 + (name[3] - '0'));
  if (name.size() >= 2 && Lower(name[0]) == 'f' && AllDigits(name.substr(1)) && name[1] != '0') {
    const auto n = Decimal(name.substr(1), 24);
    if (n && *n >= 1) return static_cast<uint8_t>(0x70 + *n - 1);
  }
  if (name.size() == 4 && SameText(name.substr(0, 2), "vk")) {
    const int hi = HexDigit(name[2]), lo = HexDigit(name[3]);
    if (hi >= 0 && lo >= 0 && (hi | lo) != 0) return static_cast<uint8_t>(hi * 16 + lo);
  }
  for (const KeyName& k : kNames)
    if (SameText(name, k.name)) return k.vk;
  return std::nullopt;
}

// The modifier a name before a '+' stands for; 0: none.
uint16_t ModifierByName(std::string_view name) {
  name = Trim(name);
  if (SameText(name, "ctrl") || SameText(name, "control")) return Shortcut::kCtrl;
  if (SameText(name, "shift")) return Shortcut::kShift;
  if (SameText(name, "alt")) return Shortcut::kAlt;
  return 0;
}

}  // namespace

std::string Shortcut::Name() const {
  if (Empty()) return {};
  std::string r;
  if (Ctrl()) r += "Ctrl+";
  if (Shift()) r += "Shift+";
  if (Alt()) r += "Alt+";
  return r + VkName(Key());
}

std::optional<Shortcut> Shortcut::Parse(std::string_view name) {
  name = Trim(name);
  if (name.size() >= 2 && AllDigits(name)) {
    const auto code = Decimal(name, 0xFFFF);
    if (!code || (*code & 0xFF) == 0) return std::nullopt;
    return Shortcut(Shortcut(static_cast<uint16_t>(*code)).Identity());
  }
  uint16_t mods = 0;
  for (;;) {
    const size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus + 1 == name.size()) break;
    const uint16_t m = ModifierByName(name.substr(0, plus));
    if (m == 0) break;
    mods |= m;
    name = Trim(name.substr(plus + 1));
  }
  const auto vk = VkByName(name);
  if (!vk) return std::nullopt;
  return Shortcut(static_cast<uint16_t>(*vk | mods));
}

}  // namespace tesmuro
