#include "image/match.h"

#include <algorithm>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tesmuro::image {

namespace {

constexpr uint32_t kRgb = 0x00FFFFFFu;
// How many pixels a place is tried at before it is compared in full.
constexpr size_t kProbeCount = 8;

// The channels of a picture pixel that count: none where it is transparent.
inline uint32_t MaskOf(uint32_t px) { return (px >> 24) != 0 ? kRgb : 0; }

// Each channel of `s` within `t` of `p` where `mask` has its bits.
inline bool Close(uint32_t s, uint32_t p, uint32_t mask, uint32_t t) {
  const uint32_t x = (s ^ p) & mask;
  if (x == 0) return true;
  if (t == 0) return false;
  for (int shift = 0; shift < 24; shift += 8) {
    if (((mask >> shift) & 0xFFu) == 0) continue;
    const int a = static_cast<int>((s >> shift) & 0xFFu), b = static_cast<int>((p >> shift) & 0xFFu);
    if (static_cast<uint32_t>(a > b ? a - b : b - a) > t) return false;
  }
  return true;
}

// The places to try, in screen-image pixels: x in [x0, x1], y in [y0, y1].
struct Span {
  int32_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;
  bool Empty() const { return x1 < x0 || y1 < y0; }
};

Span PlacesFor(const Image& screen, Point origin, int32_t w, int32_t h, const std::optional<Rect>& area) {
  Span s;
  if (screen.Empty() || w <= 0 || h <= 0) return s;
  int64_t left = 0, top = 0, right = screen.width, bottom = screen.height;  // right, bottom exclusive
  if (area) {
    if (area->width <= 0 || area->height <= 0) return s;
    const int64_t al = int64_t{area->left} - origin.x, at = int64_t{area->top} - origin.y;
    left = std::max<int64_t>(left, al);
    top = std::max<int64_t>(top, at);
    right = std::min<int64_t>(right, al + area->width);
    bottom = std::min<int64_t>(bottom, at + area->height);
  }
  if (right - left < w || bottom - top < h) return s;
  s.x0 = static_cast<int32_t>(left);
  s.y0 = static_cast<int32_t>(top);
  s.x1 = static_cast<int32_t>(right - w);
  s.y1 = static_cast<int32_t>(bottom - h);
  return s;
}

Point Placed(Point origin, int32_t x, int32_t y) {
  return {static_cast<int32_t>(int64_t{origin.x} + x), static_cast<int32_t>(int64_t{origin.y} + y)};
}

#ifdef __SSE2__
// Per 32-bit lane: all ones where each byte of `s` is within `t` of `p` where
// `mask` has its bits.
inline __m128i CloseLanes(__m128i s, __m128i p, __m128i mask, __m128i t) {
  const __m128i d = _mm_or_si128(_mm_subs_epu8(s, p), _mm_subs_epu8(p, s));
  const __m128i over = _mm_and_si128(_mm_subs_epu8(d, t), mask);
  return _mm_cmpeq_epi32(over, _mm_setzero_si128());
}
inline int LaneBits(__m128i lanes) { return _mm_movemask_ps(_mm_castsi128_ps(lanes)); }
#endif

// The needle compared in full at (cx, cy), after its probes from `firstProbe` on.
template <bool kVector>
bool MatchesAt(const Image& screen, const Needle& needle, int32_t cx, int32_t cy, uint32_t t, size_t firstProbe) {
  const auto& probes = needle.Probes();
  const size_t sw = static_cast<size_t>(screen.width);
  const uint32_t* base = screen.pixels.data() + static_cast<size_t>(cy) * sw + static_cast<size_t>(cx);
  for (size_t i = firstProbe; i < probes.size(); ++i) {
    const auto& p = probes[i];
    if (!Close(base[static_cast<size_t>(p.y) * sw + static_cast<size_t>(p.x)], p.color, kRgb, t)) return false;
  }
  const int32_t w = needle.Width(), h = needle.Height();
  const uint32_t* pic = needle.Picture().pixels.data();
#ifdef __SSE2__
  const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
  const __m128i rgb = _mm_set1_epi32(static_cast<int>(kRgb));
#endif
  for (int32_t y = 0; y < h; ++y) {
    const uint32_t* s = base + static_cast<size_t>(y) * sw;
    const uint32_t* n = pic + static_cast<size_t>(y) * static_cast<size_t>(w);
    int32_t x = 0;
#ifdef __SSE2__
    if constexpr (kVector) {
      for (; x + 4 <= w; x += 4) {
        const __m128i nv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n + x));
        // The colour counts where the alpha is not 0.
        const __m128i clear = _mm_cmpeq_epi32(_mm_srli_epi32(nv, 24), _mm_setzero_si128());
        const __m128i lanes = CloseLanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)), nv,
                                         _mm_andnot_si128(clear, rgb), tv);
        if (LaneBits(lanes) != 0xF) return false;
      }
    }
#endif
    for (; x < w; ++x)
      if (!Close(s[x], n[x], MaskOf(n[x]), t)) return false;
  }
  return true;
}

template <bool kVector>
std::optional<Point> Search(const Image& screen, Point origin, const Needle& needle, int32_t tolerance,
                            const std::optional<Rect>& area) {
  const Span span = PlacesFor(screen, origin, needle.Width(), needle.Height(), area);
  if (span.Empty()) return std::nullopt;
  const uint32_t t = static_cast<uint32_t>(std::clamp(tolerance, 0, 255));
  if (!needle.Complete()) return std::nullopt;
  const auto& probes = needle.Probes();
  if (probes.empty()) return Placed(origin, span.x0, span.y0);  // every pixel transparent

  // Each place is tried at the first two probes; the rest are looked at by MatchesAt.
  const Needle::Probe p0 = probes[0];
  const Needle::Probe p1 = probes.size() > 1 ? probes[1] : probes[0];
  const size_t rest = probes.size() > 1 ? 2 : 1;
  const size_t sw = static_cast<size_t>(screen.width);
  const uint32_t* pixels = screen.pixels.data();
#ifdef __SSE2__
  const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
  const __m128i rgb = _mm_set1_epi32(static_cast<int>(kRgb));
  const __m128i c0 = _mm_set1_epi32(static_cast<int>(p0.color));
  const __m128i c1 = _mm_set1_epi32(static_cast<int>(p1.color));
#endif
  for (int32_t cy = span.y0; cy <= span.y1; ++cy) {
    const uint32_t* r0 = pixels + static_cast<size_t>(cy + p0.y) * sw + static_cast<size_t>(p0.x);
    const uint32_t* r1 = pixels + static_cast<size_t>(cy + p1.y) * sw + static_cast<size_t>(p1.x);
    int32_t cx = span.x0;
#ifdef __SSE2__
    if constexpr (kVector) {
      for (; cx + 3 <= span.x1; cx += 4) {
        int bits = LaneBits(CloseLanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + cx)), c0, rgb, tv));
        if (bits == 0) continue;
        bits &= LaneBits(CloseLanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + cx)), c1, rgb, tv));
        while (bits != 0) {
          const int lane = __builtin_ctz(static_cast<unsigned>(bits));
          if (MatchesAt<kVector>(screen, needle, cx + lane, cy, t, rest)) return Placed(origin, cx + lane, cy);
          bits &= bits - 1;
        }
      }
    }
#endif
    for (; cx <= span.x1; ++cx) {
      if (!Close(r0[cx], p0.color, kRgb, t) || !Close(r1[cx], p1.color, kRgb, t)) continue;
      if (MatchesAt<kVector>(screen, needle, cx, cy, t, rest)) return Placed(origin, cx, cy);
    }
  }
  return std::nullopt;
}

}  // namespace

// The probes: a pixel of each of the rarest colours, up to kProbeCount; when
// the picture has fewer colours than that, more pixels of the rarest ones,
// spread over where they are. How rare a colour is comes from a table of
// counts by a hash of the colour, so colours that share a slot count together:
// a probe is then less distinctive than it could be, never wrong (the search
// compares every pixel of a place that passes the probes).
Needle::Needle(Image picture, const std::atomic<bool>* stop) : picture_(std::move(picture)) {
  if (picture_.Empty()) {
    complete_ = true;
    return;
  }
  const size_t w = static_cast<size_t>(picture_.width), h = static_cast<size_t>(picture_.height);
  const uint32_t* px = picture_.pixels.data();
  auto stopped = [&] { return stop && stop->load(std::memory_order_relaxed); };
  constexpr int kSlotBits = 16;
  auto slotOf = [](uint32_t c) { return (c * 2654435761u) >> (32 - kSlotBits); };
  std::vector<uint32_t> counts(size_t{1} << kSlotBits, 0);
  for (size_t y = 0; y < h; ++y) {
    if (stopped()) return;
    for (const uint32_t* p = px + y * w; p != px + (y + 1) * w; ++p)
      if (MaskOf(*p)) ++counts[slotOf(*p & kRgb)];
  }

  // The rarest colours, one pixel each (the first in reading order), rarest
  // first.
  struct Pick {
    uint32_t count;
    size_t index;
    uint32_t color;
  };
  std::vector<Pick> picks;
  picks.reserve(kProbeCount + 1);
  size_t counted = 0;
  for (size_t y = 0; y < h; ++y) {
    if (stopped()) return;
    for (size_t i = y * w; i < (y + 1) * w; ++i) {
      if (!MaskOf(px[i])) continue;
      ++counted;
      const uint32_t c = px[i] & kRgb, n = counts[slotOf(c)];
      if (picks.size() == kProbeCount && n >= picks.back().count) continue;
      if (std::any_of(picks.begin(), picks.end(), [&](const Pick& p) { return p.color == c; })) continue;
      auto at = std::upper_bound(picks.begin(), picks.end(), n, [](uint32_t v, const Pick& p) { return v < p.count; });
      picks.insert(at, Pick{n, i, c});
      if (picks.size() > kProbeCount) picks.pop_back();
    }
  }
  auto add = [&](size_t index) {
    probes_.push_back({static_cast<int32_t>(index % w), static_cast<int32_t>(index / w), px[index] & kRgb});
  };
  for (const Pick& p : picks) add(p.index);

  // Few colours: more pixels of the rarest, evenly spaced among that colour's.
  const size_t want = std::min(kProbeCount, counted);
  std::vector<size_t> taken;
  for (const Pick& p : picks) taken.push_back(p.index);
  for (const Pick& p : picks) {
    if (probes_.size() >= want) break;
    const size_t step = std::max<size_t>(1, p.count / (want - probes_.size() + 1));
    size_t seen = 0;
    for (size_t y = 0; y < h && probes_.size() < want; ++y) {
      if (stopped()) return;
      for (size_t i = y * w; i < (y + 1) * w && probes_.size() < want; ++i) {
        if (!MaskOf(px[i]) || (px[i] & kRgb) != p.color) continue;
        if (seen++ % step != step / 2 || std::find(taken.begin(), taken.end(), i) != taken.end()) continue;
        add(i);
        taken.push_back(i);
      }
    }
  }
  complete_ = true;
}

std::optional<Point> Find(const Image& screen, Point origin, const Needle& needle, int32_t tolerance,
                          const std::optional<Rect>& area) {
#ifdef __SSE2__
  return Search<true>(screen, origin, needle, tolerance, area);
#else
  return Search<false>(screen, origin, needle, tolerance, area);
#endif
}

namespace detail {
std::optional<Point> FindWithoutVectors(const Image& screen, Point origin, const Needle& needle, int32_t tolerance,
                                        const std::optional<Rect>& area) {
  return Search<false>(screen, origin, needle, tolerance, area);
}
}  // namespace detail

std::optional<Point> FindPlain(const Image& screen, Point origin, const Image& picture, int32_t tolerance,
                               const std::optional<Rect>& area) {
  const Span span = PlacesFor(screen, origin, picture.width, picture.height, area);
  if (span.Empty()) return std::nullopt;
  const int32_t t = std::clamp(tolerance, 0, 255);
  for (int32_t cy = span.y0; cy <= span.y1; ++cy) {
    for (int32_t cx = span.x0; cx <= span.x1; ++cx) {
      bool all = true;
      for (int32_t y = 0; y < picture.height && all; ++y) {
        for (int32_t x = 0; x < picture.width && all; ++x) {
          const uint32_t p = picture.At(x, y);
          if ((p >> 24) == 0) continue;
          const uint32_t s = screen.At(cx + x, cy + y);
          for (int shift = 0; shift < 24; shift += 8) {
            const int d = static_cast<int>((s >> shift) & 0xFF) - static_cast<int>((p >> shift) & 0xFF);
            if (d > t || -d > t) all = false;
          }
        }
      }
      if (all) return Placed(origin, cx, cy);
    }
  }
  return std::nullopt;
}

}  // namespace tesmuro::image
