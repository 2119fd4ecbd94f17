// The picture search side by side with OpenCV's matchTemplate (TM_SQDIFF, one
// thread) on a 1920x1080 screenshot of a real desktop: pictures of 32x32,
// 100x150 and 400x300 taken from it, present and absent (one pixel changed),
// at tolerance 0 and 16. Each figure is the median of 20 searches; "same" tells
// whether both found the same place (OpenCV's best place counts as found when
// every pixel there is within the tolerance, as ours does). Then what a
// full-screen picture's preparation costs (time, and memory beside the
// picture), what reading PNG files costs (a typical picture, a screenshot and
// hostile files; beside libspng's when it is there), and, with a display,
// what one picture of the whole screen costs on X11.
//
//   image_match_bench [SCREENSHOT.png [HOSTILE.png...]]
//   (default: the screenshot beside this file; the hostile files of the fuzz seeds)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/match.h"
#include "image/png_io.h"

#ifdef TESMURO_BENCH_SPNG
#include <spng.h>
#endif
#include "util/file_io.h"
#ifdef TESMURO_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#ifdef TESMURO_BENCH_X11
#include <cstdlib>

#include "os/desktop_x11.h"
#include "play/input_sink_x11.h"
#include <X11/Xlib.h>
#endif

namespace {

using tesmuro::image::Image;
using tesmuro::image::Needle;
using tesmuro::image::Point;

constexpr int kRuns = 20;

double MedianMs(const std::function<void()>& f) {
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return (ms[kRuns / 2 - 1] + ms[kRuns / 2]) / 2;
}

Image Cut(const Image& from, int32_t x, int32_t y, int32_t w, int32_t h) {
  Image out(w, h);
  for (int32_t j = 0; j < h; ++j)
    for (int32_t i = 0; i < w; ++i) out.At(i, j) = from.At(x + i, y + j);
  return out;
}

std::string Place(const std::optional<Point>& p) {
  return p ? std::to_string(p->x) + "," + std::to_string(p->y) : "none";
}

#ifdef TESMURO_BENCH_OPENCV
cv::Mat ToMat(const Image& img) {
  cv::Mat m(img.height, img.width, CV_8UC3);
  for (int32_t y = 0; y < img.height; ++y) {
    auto* row = m.ptr<uint8_t>(y);
    for (int32_t x = 0; x < img.width; ++x) {
      const uint32_t p = img.At(x, y);
      row[3 * x] = static_cast<uint8_t>(p);
      row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  return m;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : TESMURO_BENCH_SCREENSHOT;
  std::string error;
  const auto screen = tesmuro::image::LoadPng(path, &error);
  if (!screen) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  std::printf("screen %dx%d (%s)\n", screen->width, screen->height, path.c_str());
#ifdef TESMURO_BENCH_OPENCV
  cv::setNumThreads(1);
  const cv::Mat screenMat = ToMat(*screen);
#else
  std::printf("(OpenCV not found: its column is left out)\n");
#endif

  struct Piece {
    const char* name;
    int32_t x, y, w, h;
  };
  // Each from a busy part of the screen: a button of the calculator, lines of
  // a terminal's text, most of a window with Chinese text.
  const Piece pieces[] = {{"32x32", 1545, 890, 32, 32}, {"100x150", 300, 250, 100, 150}, {"400x300", 1000, 200, 400, 300}};
  std::printf("%-8s %-8s %3s  %10s %10s %10s %7s  %-10s %-10s %s\n", "picture", "case", "tol", "ours ms", "opencv ms",
              "prep ms", "ratio", "ours at", "opencv at", "same");
  for (const Piece& pc : pieces) {
    const Image present = Cut(*screen, pc.x, pc.y, pc.w, pc.h);
    Image absent = present;
    // One pixel in the middle changed by half the range in each channel.
    uint32_t& px = absent.At(pc.w / 2, pc.h / 2);
    px = (px & 0xFF000000u) | ((px & 0x00FFFFFFu) ^ 0x00808080u);
    for (const auto& [label, picture] : {std::pair<const char*, const Image*>{"present", &present}, {"absent", &absent}}) {
      for (int32_t tol : {0, 16}) {
        double prepMs = 0;
        std::optional<Needle> needle;
        prepMs = MedianMs([&] { needle.emplace(*picture); });
        std::optional<Point> ours;
        const double oursMs = MedianMs([&] { ours = tesmuro::image::Find(*screen, {0, 0}, *needle, tol); });
        const auto plain = tesmuro::image::FindPlain(*screen, {0, 0}, *picture, tol);
        std::string cvAt = "-", same = ours == plain ? "-" : "WRONG (plain search: " + Place(plain) + ")";
        double cvMs = 0;
#ifdef TESMURO_BENCH_OPENCV
        const cv::Mat templ = ToMat(*picture);
        cv::Mat result;
        cvMs = MedianMs([&] { cv::matchTemplate(screenMat, templ, result, cv::TM_SQDIFF); });
        double minVal = 0;
        cv::Point minLoc;
        cv::minMaxLoc(result, &minVal, nullptr, &minLoc, nullptr);
        // OpenCV's best place, found when it is within the tolerance.
        const auto there = tesmuro::image::FindPlain(*screen, {0, 0}, *picture, tol,
                                                     tesmuro::image::Rect{minLoc.x, minLoc.y, pc.w, pc.h});
        const std::optional<Point> cvFound = there ? std::optional<Point>(Point{minLoc.x, minLoc.y}) : std::nullopt;
        cvAt = Place(cvFound);
        if (same == "-") same = cvFound == ours ? "yes" : "no";
#endif
        std::printf("%-8s %-8s %3d  %10.3f %10.3f %10.3f %7s  %-10s %-10s %s\n", pc.name, label, tol, oursMs, cvMs,
                    prepMs, cvMs > 0 ? (std::to_string(static_cast<int>(cvMs / oursMs + 0.5)) + "x").c_str() : "-",
                    Place(ours).c_str(), cvAt.c_str(), same.c_str());
      }
    }
  }

  // A full-screen picture's preparation: the screenshot itself, and its
  // top-left 1280x1024.
  std::printf("\n%-10s %10s %14s\n", "prepare", "ms", "bytes/pixel");
  const Image sxga = Cut(*screen, 0, 0, 1280, 1024);
  for (const Image* picture : {&sxga, &*screen}) {
    std::optional<Needle> needle;
    const double ms = MedianMs([&] { needle.emplace(*picture); });
    const double extra = static_cast<double>(sizeof(Needle) + needle->Probes().capacity() * sizeof(Needle::Probe) -
                                             sizeof(Image));
    const double pixels = static_cast<double>(picture->pixels.size());
    std::printf("%4dx%-5d %10.3f %14.3f  (the picture's own 4, and %.6f more)\n", picture->width, picture->height,
                ms, (pixels * 4 + extra) / pixels, extra / pixels);
  }

  // Reading PNG files: ours (the chunks walked, then stb within its budget)
  // and libspng's (decoded to RGBA8 with its own limits), the median of 20.
  std::vector<std::string> files = {path};
  const Image small = Cut(*screen, 300, 250, 100, 150);
  const std::string smallPath = "/tmp/image_match_bench_100x150.png";
  if (tesmuro::image::SavePng(smallPath, small)) files.insert(files.begin(), smallPath);
  if (argc > 2) {
    for (int i = 2; i < argc; ++i) files.push_back(argv[i]);
  } else {
    files.push_back(TESMURO_BENCH_SEEDS "/idat-claims-2gb.png");
    files.push_back(TESMURO_BENCH_SEEDS "/null-copy.png");
  }
  std::printf("\n%-44s %9s %10s %10s\n", "PNG file", "bytes", "ours ms", "spng ms");
  for (const std::string& file : files) {
    std::string bytes;
    if (!tesmuro::ReadWholeFile(file, bytes)) continue;
    std::string outcome;
    const double oursMs = MedianMs([&] {
      const auto img = tesmuro::image::DecodePng(bytes, {}, nullptr, &outcome);
      if (img) outcome = std::to_string(img->width) + "x" + std::to_string(img->height);
    });
    double spngMs = 0;
    std::string spngOutcome = "-";
#ifdef TESMURO_BENCH_SPNG
    spngMs = MedianMs([&] {
      spng_ctx* ctx = spng_ctx_new(0);
      spng_set_image_limits(ctx, 32768, 32768);
      spng_set_chunk_limits(ctx, 16u << 20, 64u << 20);
      spng_set_png_buffer(ctx, bytes.data(), bytes.size());
      size_t size = 0;
      int r = spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size);
      std::vector<unsigned char> out;
      if (r == 0) {
        out.resize(size);
        r = spng_decode_image(ctx, out.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
      }
      spngOutcome = r == 0 ? "read" : spng_strerror(r);
      spng_ctx_free(ctx);
    });
#endif
    const std::string name = file.size() > 44 ? "..." + file.substr(file.size() - 41) : file;
    std::printf("%-44s %9zu %10.3f %10.3f  ours: %s; spng: %s\n", name.c_str(), bytes.size(), oursMs, spngMs,
                outcome.c_str(), spngOutcome.c_str());
  }

#ifdef TESMURO_BENCH_X11
  if (const char* d = std::getenv("DISPLAY"); d && *d) {
    if (Display* display = XOpenDisplay(nullptr)) {
      XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
      {
      tesmuro::X11Desktop desktop(display);
      const auto s = tesmuro::play::X11Screen(display);
      const tesmuro::DesktopRect all{s.left, s.top, s.width, s.height};
      std::optional<Image> shot;
      const double captureMs = MedianMs([&] { shot = desktop.Capture(all); });
      // The 100x150 picture with one pixel changed: nowhere on the screen
      // (which may show the screenshot: display -window root).
      Image missing = Cut(*screen, 300, 250, 100, 150);
      missing.At(50, 75) ^= 0x00808080u;
      const Needle absent(missing);
      // As a wait looks: into the same picture each time.
      Image reused;
      const double lookMs = MedianMs([&] {
        if (desktop.CaptureInto(all, reused)) (void)tesmuro::image::Find(reused, {0, 0}, absent, 0);
      });
      std::printf("X11 capture of the whole screen (%dx%d, shared memory): %.3f ms; one look for an absent "
                  "100x150 picture (capture and search): %.3f ms, %.1f %% of a core at one look per 50 ms\n",
                  s.width, s.height, captureMs, lookMs, lookMs / 50 * 100);
      }
      XCloseDisplay(display);
    }
  } else {
    std::printf("(no DISPLAY: the X11 capture is not measured)\n");
  }
#endif
  return 0;
}
