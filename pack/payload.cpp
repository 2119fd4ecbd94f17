#include "pack/payload.h"

#include <algorithm>
#include <array>
#include <set>

#include "play/run_switches.h"
#include "play/speed.h"

namespace tesmuro::pack {
namespace {

constexpr std::string_view kBodyMagic = "TSMRPACK";
constexpr std::string_view kTrailerMagic = "TSMRTAIL";

// The run record's flag bits.
enum : uint8_t {
  kGame = 1, kScale = 2, kFollow = 4, kStopWhenBlocked = 8,
  kBroadcast = 16, kHardware = 32, kHotKeys = 64, kHasSeed = 128,
};

void PutU8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
void PutLE(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU32(std::string& out, uint32_t v) { PutLE(out, v, 4); }
void PutBytes(std::string& out, std::string_view bytes) {
  PutU32(out, static_cast<uint32_t>(bytes.size()));
  out.append(bytes);
}

uint64_t LE(std::string_view b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// Reads from a byte view, never past its end: a read that does not fit
// fails and every later one fails too.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool Ok() const { return ok_; }
  bool AtEnd() const { return at_ == bytes_.size(); }
  uint64_t Number(int size) {
    if (!Fits(size)) return 0;
    const uint64_t v = LE(bytes_, at_, size);
    at_ += size;
    return v;
  }
  // A length-prefixed byte string of at most `limit` bytes.
  std::string_view Bytes(uint64_t limit) {
    const uint64_t n = Number(4);
    if (n > limit) ok_ = false;
    if (!Fits(n)) return {};
    const std::string_view v = bytes_.substr(at_, n);
    at_ += n;
    return v;
  }
  std::string_view Raw(size_t n) {
    if (!Fits(n)) return {};
    const std::string_view v = bytes_.substr(at_, n);
    at_ += n;
    return v;
  }

 private:
  bool Fits(uint64_t n) {
    if (ok_ && n > bytes_.size() - at_) ok_ = false;
    return ok_;
  }
  std::string_view bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

std::string RunRecord(const PackedRun& r) {
  const play::RunOptions& o = r.options;
  uint8_t flags = 0;
  if (o.gameMode) flags |= kGame;
  if (o.scaleToScreen) flags |= kScale;
  if (o.followWindows) flags |= kFollow;
  if (o.stopWhenBlocked) flags |= kStopWhenBlocked;
  if (o.controller.broadcast) flags |= kBroadcast;
  if (o.controller.hardwareInput) flags |= kHardware;
  if (r.hotKeys) flags |= kHotKeys;
  if (o.seed) flags |= kHasSeed;
  std::string out;
  PutU8(out, static_cast<uint8_t>(o.loopMode));
  PutU8(out, flags);
  PutLE(out, r.stopKey, 2);
  PutU32(out, static_cast<uint32_t>(o.loopCount));
  PutLE(out, static_cast<uint64_t>(o.loopTotalSeconds), 8);
  PutU32(out, static_cast<uint32_t>(o.speedPercent));
  PutU32(out, static_cast<uint32_t>(o.waitLimitSeconds));
  PutU32(out, static_cast<uint32_t>(o.delayJitterPercent));
  PutLE(out, o.seed.value_or(0), 8);
  return out;
}

// The run record, or nothing when a value lies outside what a run takes (a
// payload forged with a valid CRC is refused as a damaged one is).
std::optional<PackedRun> ReadRunRecord(std::string_view b) {
  if (b.size() != kRunBytes) return std::nullopt;
  PackedRun r;
  play::RunOptions& o = r.options;
  const uint8_t mode = static_cast<uint8_t>(b[0]);
  const uint8_t flags = static_cast<uint8_t>(b[1]);
  if (mode > static_cast<uint8_t>(play::LoopMode::Timed)) return std::nullopt;
  o.loopMode = static_cast<play::LoopMode>(mode);
  o.gameMode = flags & kGame;
  o.scaleToScreen = flags & kScale;
  o.followWindows = flags & kFollow;
  o.stopWhenBlocked = flags & kStopWhenBlocked;
  o.controller.broadcast = flags & kBroadcast;
  o.controller.hardwareInput = flags & kHardware;
  r.hotKeys = flags & kHotKeys;
  r.stopKey = static_cast<uint16_t>(LE(b, 2, 2));
  o.loopCount = static_cast<int32_t>(LE(b, 4, 4));
  o.loopTotalSeconds = static_cast<int64_t>(LE(b, 8, 8));
  o.speedPercent = static_cast<int32_t>(LE(b, 16, 4));
  o.waitLimitSeconds = static_cast<int32_t>(LE(b, 20, 4));
  o.delayJitterPercent = static_cast<int32_t>(LE(b, 24, 4));
  if (flags & kHasSeed) o.seed = LE(b, 28, 8);
  else if (LE(b, 28, 8) != 0) return std::nullopt;
  // A packed run never shuts the recipient's computer down.
  o.shutAfterLoops = o.shutAfterElapsed = false;
  if (o.loopCount < 0 || o.loopTotalSeconds < 0 || o.speedPercent < kMinSpeedPercent ||
      o.speedPercent > kMaxSpeedPercent || o.waitLimitSeconds < 0 ||
      o.waitLimitSeconds > play::kMaxWaitLimitSeconds || o.delayJitterPercent < 0 ||
      o.delayJitterPercent > play::kMaxDelaySharePercent)
    return std::nullopt;
  return r;
}

bool NameAcceptable(std::string_view name) {
  return !name.empty() && name.find('\0') == std::string_view::npos;
}

PayloadRead Damaged(std::string why) {
  PayloadRead r;
  r.state = PayloadState::Damaged;
  r.problem = std::move(why);
  return r;
}

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return table;
}

}  // namespace

uint32_t Crc32(std::string_view bytes, uint32_t crc) {
  const auto& table = CrcTable();
  crc = ~crc;
  for (unsigned char c : bytes) crc = table[(crc ^ c) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string WritePayload(const Payload& p) {
  std::string body(kBodyMagic);
  PutBytes(body, RunRecord(p.run));
  PutBytes(body, p.scriptName);
  PutBytes(body, p.script);
  PutU32(body, static_cast<uint32_t>(p.files.size()));
  for (const PackedFile& f : p.files) {
    PutBytes(body, f.name);
    PutBytes(body, f.bytes);
  }
  std::string out = body;
  out.append(kTrailerMagic);
  PutU32(out, kPayloadVersion);
  PutU32(out, Crc32(body));
  PutLE(out, body.size(), 8);
  return out;
}

PayloadRead ReadPayload(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() < kTrailerBytes) return Damaged("程序末尾的数据不完整");
  const std::string_view trailer = bytes.substr(bytes.size() - kTrailerBytes);
  if (trailer.substr(0, kTrailerMagic.size()) != kTrailerMagic) return Damaged("程序末尾的数据不完整或已被改动");
  const uint32_t version = static_cast<uint32_t>(LE(trailer, 8, 4));
  if (version != kPayloadVersion)
    return Damaged("数据格式版本为 " + std::to_string(version) + "，这个程序只能读版本 " +
                   std::to_string(kPayloadVersion));
  const uint32_t crc = static_cast<uint32_t>(LE(trailer, 12, 4));
  const uint64_t bodyLength = LE(trailer, 16, 8);
  // The body must fill exactly what lies before the trailer.
  if (bodyLength != bytes.size() - kTrailerBytes) return Damaged("数据长度与程序文件不符");
  const std::string_view body = bytes.substr(0, bodyLength);
  if (Crc32(body) != crc) return Damaged("数据校验（CRC-32）不符");

  Cursor in(body);
  if (in.Raw(kBodyMagic.size()) != kBodyMagic) return Damaged("数据开头的标记不对");
  PayloadRead r;
  Payload& p = r.payload;
  const std::optional<PackedRun> run = ReadRunRecord(in.Bytes(kRunBytes));
  if (!in.Ok() || !run) return Damaged("播放选项无效");
  p.run = *run;
  p.scriptName = in.Bytes(kMaxNameBytes);
  p.script = in.Bytes(UINT32_MAX);
  if (!in.Ok() || !NameAcceptable(p.scriptName)) return Damaged("脚本的数据无效");
  const uint64_t count = in.Number(4);
  if (!in.Ok() || count > kMaxFiles) return Damaged("文件数无效");
  std::set<std::string_view> names;
  for (uint64_t i = 0; i < count; ++i) {
    const std::string_view name = in.Bytes(kMaxNameBytes);
    const std::string_view data = in.Bytes(UINT32_MAX);
    if (!in.Ok() || !NameAcceptable(name) || !names.insert(name).second)
      return Damaged("第 " + std::to_string(i + 1) + " 个文件的数据无效");
    p.files.push_back({std::string(name), std::string(data)});
  }
  if (!in.AtEnd()) return Damaged("数据末尾有多余的字节");
  r.state = PayloadState::Valid;
  return r;
}

std::optional<uint64_t> ImageEnd(std::string_view f) {
  const uint64_t size = f.size();
  uint64_t end = 0;
  // Widens `end` to [offset, offset + length); false when that lies outside the file.
  auto cover = [&](uint64_t offset, uint64_t length) {
    if (offset > size || length > size - offset) return false;
    end = std::max(end, offset + length);
    return true;
  };
  if (size >= 64 && f[0] == 'M' && f[1] == 'Z') {
    const uint64_t pe = LE(f, 0x3C, 4);
    if (pe > size || size - pe < 24 || f.substr(pe, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
    const uint64_t coff = pe + 4;
    const uint64_t sections = LE(f, coff + 2, 2);
    const uint64_t symbols = LE(f, coff + 8, 4), symbolCount = LE(f, coff + 12, 4);
    const uint64_t optionalSize = LE(f, coff + 16, 2);
    const uint64_t opt = coff + 20;
    if (!cover(opt, optionalSize) || optionalSize < 64) return std::nullopt;
    const uint16_t magic = static_cast<uint16_t>(LE(f, opt, 2));
    if (magic != 0x10b && magic != 0x20b) return std::nullopt;
    if (!cover(0, LE(f, opt + 60, 4))) return std::nullopt;  // SizeOfHeaders
    const uint64_t table = opt + optionalSize;
    if (!cover(table, sections * 40)) return std::nullopt;
    for (uint64_t i = 0; i < sections; ++i) {
      const uint64_t s = table + i * 40;
      const uint64_t rawSize = LE(f, s + 16, 4), rawAt = LE(f, s + 20, 4);
      if (rawSize > 0 && !cover(rawAt, rawSize)) return std::nullopt;
    }
    if (symbols != 0) {
      // The COFF symbols, then the string table, which starts with its own length.
      if (!cover(symbols, symbolCount * 18 + 4)) return std::nullopt;
      if (!cover(symbols + symbolCount * 18, LE(f, symbols + symbolCount * 18, 4))) return std::nullopt;
    }
    // A signature (the security directory: a file offset, not an address).
    const uint64_t dirs = opt + (magic == 0x10b ? 92 : 108);
    if (optionalSize >= dirs - opt + 4 && LE(f, dirs, 4) > 4 && optionalSize >= dirs - opt + 4 + 5 * 8) {
      const uint64_t at = LE(f, dirs + 4 + 4 * 8, 4), length = LE(f, dirs + 4 + 4 * 8 + 4, 4);
      if (at != 0 && length != 0 && !cover(at, length)) return std::nullopt;
    }
    return end;
  }
  if (size >= 52 && f.substr(0, 4) == "\x7F" "ELF" && f[5] == 1) {
    const bool wide = f[4] == 2;
    if (!wide && f[4] != 1) return std::nullopt;
    if (wide && size < 64) return std::nullopt;
    const int word = wide ? 8 : 4;
    const uint64_t phoff = LE(f, wide ? 0x20 : 0x1C, word), shoff = LE(f, wide ? 0x28 : 0x20, word);
    const uint64_t phsize = LE(f, wide ? 0x36 : 0x2A, 2), phnum = LE(f, wide ? 0x38 : 0x2C, 2);
    const uint64_t shsize = LE(f, wide ? 0x3A : 0x2E, 2), shnum = LE(f, wide ? 0x3C : 0x30, 2);
    if (!cover(0, LE(f, wide ? 0x34 : 0x28, 2))) return std::nullopt;  // the ELF header
    if (phnum && (phsize < (wide ? 56u : 32u) || !cover(phoff, phsize * phnum))) return std::nullopt;
    if (shnum && (shsize < (wide ? 64u : 40u) || !cover(shoff, shsize * shnum))) return std::nullopt;
    for (uint64_t i = 0; i < phnum; ++i) {
      const uint64_t h = phoff + i * phsize;
      if (!cover(LE(f, h + (wide ? 8 : 4), word), LE(f, h + (wide ? 0x20 : 0x10), word))) return std::nullopt;
    }
    for (uint64_t i = 0; i < shnum; ++i) {
      const uint64_t h = shoff + i * shsize;
      if (LE(f, h + 4, 4) == 8) continue;  // SHT_NOBITS: no bytes in the file
      if (!cover(LE(f, h + (wide ? 0x18 : 0x10), word), LE(f, h + (wide ? 0x20 : 0x14), word))) return std::nullopt;
    }
    return end;
  }
  return std::nullopt;
}

PayloadRead ReadProgramPayload(std::string_view file) {
  const std::optional<uint64_t> end = ImageEnd(file);
  if (!end) return Damaged("程序文件已损坏");
  return ReadPayload(file.substr(*end));
}

std::string NormalizeName(std::string_view name) {
  std::string root;
  size_t at = 0;
  if (name.size() >= 2 && name[1] == ':') {
    root = std::string(name.substr(0, 2));
    at = 2;
  }
  if (at < name.size() && (name[at] == '/' || name[at] == '\\')) {
    // A UNC name keeps its two leading separators.
    const bool unc = root.empty() && name.size() >= 2 && (name[1] == '/' || name[1] == '\\');
    root += unc ? "//" : "/";
  }
  std::vector<std::string_view> parts;
  while (at <= name.size()) {
    size_t next = name.find_first_of("/\\", at);
    if (next == std::string_view::npos) next = name.size();
    const std::string_view part = name.substr(at, next - at);
    if (part.empty() || part == ".") {
    } else if (part == ".." && !parts.empty() && parts.back() != "..") {
      parts.pop_back();
    } else if (part == ".." && !root.empty()) {
      // Above a root is the root.
    } else {
      parts.push_back(part);
    }
    at = next + 1;
  }
  std::string out = root;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '/';
    out += parts[i];
  }
  return out;
}

std::string ExtractName(std::string_view name) {
  const std::string n = NormalizeName(name);
  const bool absolute = !n.empty() && (n[0] == '/' || (n.size() >= 2 && n[1] == ':'));
  std::string out = absolute ? "_/" : "";
  size_t at = 0;
  while (at <= n.size()) {
    size_t next = n.find('/', at);
    if (next == std::string::npos) next = n.size();
    std::string part(n.substr(at, next - at));
    at = next + 1;
    if (part.empty()) continue;
    if (part == "..") part = "__";
    // Characters no file name may hold on Windows, and a drive's colon.
    for (char& c : part)
      if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
        c = '_';
    if (out.size() && out.back() != '/') out += '/';
    out += part;
  }
  return out.empty() ? "_" : out;
}

}  // namespace tesmuro::pack
