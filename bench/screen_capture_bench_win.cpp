// What one picture of the screen costs the Windows program (one BitBlt into a
// DIB section, as a picture wait's look takes it), and one look for a picture
// that is not there (the capture and the search), each the median of 20; with a
// screenshot PNG, also the search alone on it in this 32-bit build. Then the
// same look over a 400x300 area, and near a picture's last place (its size
// and 32 pixels around), and how often a wait looks at those costs under its
// tenth-of-a-core cap (the wait's rule, replayed over 10 s of looks that find
// nothing).
//
//   screen_capture_bench_win.exe [SCREENSHOT.png]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "image/match.h"
#include "image/png_io.h"
#include "os/desktop_win.h"

namespace {

double MedianMs(const std::function<void()>& f) {
  std::vector<double> ms;
  for (int i = 0; i < 20; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return (ms[9] + ms[10]) / 2;
}

tesmuro::image::Image Cut(const tesmuro::image::Image& from, int32_t x, int32_t y, int32_t w, int32_t h) {
  tesmuro::image::Image out(w, h);
  for (int32_t j = 0; j < h; ++j)
    for (int32_t i = 0; i < w; ++i) out.At(i, j) = from.At(x + i, y + j);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tesmuro;
  const DesktopRect all{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                        GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  const std::unique_ptr<IDesktop> shared = win::NewDesktop();
  IDesktop& desktop = *shared;
  std::optional<image::Image> shot;
  const double captureMs = MedianMs([&] { shot = desktop.Capture(all); });
  if (!shot) {
    std::printf("the screen cannot be captured\n");
    return 1;
  }
  image::Image absent = Cut(*shot, shot->width / 4, shot->height / 4, 100, 150);
  absent.At(50, 75) ^= 0x00808080u;
  const image::Needle needle(absent);
  image::Image reused;
  const double lookMs = MedianMs([&] {
    if (desktop.CaptureInto(all, reused)) (void)image::Find(reused, {all.left, all.top}, needle, 0);
  });
  std::printf("Windows capture of the whole screen (%dx%d, BitBlt into a DIB section): %.3f ms; one look for an "
              "absent 100x150 picture (capture and search): %.3f ms, %.1f %% of a core at one look per 50 ms\n",
              all.width, all.height, captureMs, lookMs, lookMs / 50 * 100);
  // The wait's rule: a look every 50 ms after the last one ended, taken only
  // while the looks so far took at most a tenth of the time waited; a
  // picture seen before is looked for near its last place first. The mean
  // time between whole looks, and between looks of any kind.
  auto pace = [](double wholeMs, double nearMs) {
    double t = 0, spent = 0, nearCost = 0;
    int wholes = 0, nears = 0;
    bool first = true;
    while (t < 10000) {
      auto allowed = [&] { return first || spent * 10 <= t; };
      if (nearMs > 0 && (allowed() || nearCost * 20 <= 50)) t += nearMs, spent += nearMs, nearCost = nearMs, ++nears;
      if (first || allowed()) t += wholeMs, spent += wholeMs, ++wholes;
      first = false;
      t += 50;
    }
    return std::pair<double, double>{t / std::max(1, wholes), nears ? t / nears : 0};
  };
  const DesktopRect area{all.left + all.width / 4, all.top + all.height / 4, 400, 300};
  const DesktopRect nearLast{all.left + all.width / 4, all.top + all.height / 4, 100 + 64, 150 + 64};
  const double areaMs = MedianMs([&] {
    if (desktop.CaptureInto(area, reused)) (void)image::Find(reused, {area.left, area.top}, needle, 0);
  });
  const double nearMs = MedianMs([&] {
    if (desktop.CaptureInto(nearLast, reused)) (void)image::Find(reused, {nearLast.left, nearLast.top}, needle, 0);
  });
  const auto whole = pace(lookMs, 0), inArea = pace(areaMs, 0), seen = pace(lookMs, nearMs);
  std::printf("one look: whole screen %.3f ms, 400x300 area %.3f ms, near the last place (164x214) %.3f ms\n",
              lookMs, areaMs, nearMs);
  std::printf("a wait's looks under the cap: whole screen one every %.0f ms; 400x300 area one every %.0f ms; "
              "a picture seen before: near its last place every %.0f ms, the whole screen every %.0f ms\n",
              whole.first, inArea.first, seen.second, seen.first);
  // The rule before: after each look, nine times its length (at least the rest of 50 ms) without one.
  std::printf("the rule before (the whole screen, no near look): one look every %.0f ms\n",
              std::max(50 - lookMs, 9 * lookMs) + lookMs);
  if (argc > 1) {
    if (const auto screen = image::LoadPng(argv[1])) {
      image::Image missing = Cut(*screen, 300, 250, 100, 150);
      missing.At(50, 75) ^= 0x00808080u;
      const image::Needle n(missing), present(Cut(*screen, 300, 250, 100, 150));
      const double absentMs = MedianMs([&] { (void)image::Find(*screen, {0, 0}, n, 0); });
      const double presentMs = MedianMs([&] { (void)image::Find(*screen, {0, 0}, present, 0); });
      std::printf("32-bit search of a 100x150 picture on %dx%d: present %.3f ms, absent %.3f ms\n", screen->width,
                  screen->height, presentMs, absentMs);
    }
  }
  return 0;
}
