#include "play/stop_reason.h"

#include "play/run_front.h"

namespace tesmuro::play {

std::string ShortenTitle(std::string_view s, size_t columns) {
  // Walks whole UTF-8 characters; a stray byte counts as one column.
  auto next = [&](size_t i, uint32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + n > s.size()) n = 1;
    cp = n == 1 ? c : c & (0x3F >> (n - 1));
    for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return n;
  };
  auto width = [](uint32_t cp) -> size_t { return cp >= 0x1100 ? 2 : 1; };
  size_t total = 0;
  for (size_t i = 0; i < s.size();) {
    uint32_t cp;
    i += next(i, cp);
    total += width(cp);
  }
  if (total <= columns) return std::string(s);
  // Room for the "…" at the end (two columns in a Chinese font).
  const size_t room = columns > 2 ? columns - 2 : 0;
  size_t used = 0, end = 0;
  for (size_t i = 0; i < s.size();) {
    uint32_t cp;
    const size_t n = next(i, cp);
    if (used + width(cp) > room) break;
    used += width(cp);
    i += n;
    end = i;
  }
  return std::string(s.substr(0, end)) + "…";
}

std::string WaitProgressText(const WaitProgress& w, size_t titleColumns) {
  std::string t = w.line > 0 ? "第 " + std::to_string(w.line) + " 行：" : "";
  switch (w.kind) {
    case WaitProgress::Kind::Window: t += "等待窗口“" + ShortenTitle(w.what, titleColumns) + "”"; break;
    case WaitProgress::Kind::Color: t += "等待颜色 " + w.what; break;
    case WaitProgress::Kind::Image: t += "等待图像“" + ShortenTitle(w.what, titleColumns) + "”"; break;
    case WaitProgress::Kind::Key: t += "等待按键 " + w.what; break;
  }
  t += "… " + std::to_string(w.elapsed);
  if (w.kind != WaitProgress::Kind::Key || w.limit > 0) t += "/" + std::to_string(w.limit);
  return t + " 秒";
}

std::string StopReasonText(const StopReason& r, size_t titleColumns) {
  return Verdict({RunEnd::How::OnLine, r}, titleColumns).text;
}

bool StopReason::TimedOut() const {
  return Verdict({RunEnd::How::OnLine, *this}).outcome == RunOutcome::WaitTimedOut;
}

}  // namespace tesmuro::play

namespace tesmuro::play {

std::string PauseNoticeText(const PauseNotice& p) {
  return std::string(p.breakpoint ? "断点" : "单步") + "：第 " + std::to_string(p.line) + " 行";
}

}  // namespace tesmuro::play
