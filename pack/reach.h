// The files a script reaches, for packing it into a program: the pictures its
// 等待图像 and 点击图像 lines look for and the scripts its 调用 lines call,
// and theirs in turn, each file once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pack/payload.h"

namespace tesmuro::pack {

// Reads a whole file (UTF-8 path); false when there is none or it cannot be read.
using ReadFile = std::function<bool(const std::string& path, std::string& bytes)>;

struct Reached {
  // In the order they are first named; names as PackedFile has them (from
  // the script's own folder).
  std::vector<PackedFile> files;
  // Empty when every file is there; else why not (UTF-8, no full stop):
  // "第 N 行：找不到图像文件“NAME”", with the calling script's name before it
  // when the line is in a called script.
  std::string error;
};

// Walks `script` (GBK bytes; its relative names are taken from `folder`) and
// every script it calls, word by word as the player reads them (so that no
// argument, quoted text or window title is taken for a word), reading each
// file it reaches through `read`. A picture must be a PNG the player can
// read; a script that calls itself or an earlier one is read once.
Reached FilesReached(const std::string& script, const std::string& folder, const ReadFile& read);

}  // namespace tesmuro::pack
