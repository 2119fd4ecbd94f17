// What one picture of the screen costs the Windows program (one BitBlt into a
// DIB section, as a picture wait's look takes it), and one look for a picture
// that is not there (the capture and the search), each the median of 20; with a
// screenshot PNG, also the search alone on it in this 32-bit build.
//
//   screen_capture_bench_win.exe [SCREENSHOT.png]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
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
  IDesktop& desktop = win::SystemDesktop();
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
