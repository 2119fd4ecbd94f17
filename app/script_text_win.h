// Script bytes and the text box's UTF-16, without losing a byte.
//
// Script files are GBK, but a file may hold bytes that are not GBK (a damaged
// or hand-made file) and NUL bytes (which would end the text box's text).
// Such a byte becomes the lone low surrogate U+DC00 + byte in the text box and
// goes back to the same byte when the text is saved, so Load then Save keeps
// every byte of the file. Characters typed into the box that GBK cannot hold
// are written as '?' and counted, so that Save can say so first.
#pragma once

#include <string>
#include <string_view>

namespace tesmuro::win {

std::wstring ScriptBytesToWide(std::string_view bytes);
// `unencodable`, when given, receives the number of characters written as '?'.
std::string WideToScriptBytes(std::wstring_view text, int* unencodable = nullptr);

}  // namespace tesmuro::win
