// The picture search against a search that compares every pixel at every
// place, and PNG files.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>

#include "image/match.h"
#include "image/png_io.h"
#include "util/file_io.h"

namespace tesmuro::image {
namespace {

Image Cut(const Image& from, int32_t x, int32_t y, int32_t w, int32_t h) {
  Image out(w, h);
  for (int32_t j = 0; j < h; ++j)
    for (int32_t i = 0; i < w; ++i) out.At(i, j) = from.At(x + i, y + j);
  return out;
}

// All three searches give the same answer.
void ExpectSame(const Image& screen, Point origin, const Image& picture, int32_t t, std::optional<Rect> area,
                const std::string& what) {
  const Needle needle(picture);
  const auto plain = FindPlain(screen, origin, picture, t, area);
  EXPECT_EQ(Find(screen, origin, needle, t, area), plain) << what;
  EXPECT_EQ(detail::FindWithoutVectors(screen, origin, needle, t, area), plain) << what;
}

// A screen of windows: a desktop colour, panels, lines of glyph-like
// strokes with their shades, as a real desktop has many places alike.
Image DesktopLike(std::mt19937& rng, int32_t w, int32_t h) {
  Image s(w, h, 0xFF3A6EA5u);
  std::uniform_int_distribution<int> coin(0, 99);
  for (int k = 0; k < 4; ++k) {
    const int32_t x0 = static_cast<int32_t>(rng() % static_cast<uint32_t>(w)), y0 = static_cast<int32_t>(rng() % static_cast<uint32_t>(h));
    for (int32_t y = y0; y < std::min(h, y0 + h / 2); ++y)
      for (int32_t x = x0; x < std::min(w, x0 + w / 2); ++x) {
        uint32_t c = 0xFFFFFFFFu;
        if (y % 12 >= 3 && y % 12 <= 9 && coin(rng) < 30) {
          const uint32_t g = coin(rng) < 70 ? 0x10u : 0x80u + static_cast<uint32_t>(coin(rng));
          c = 0xFF000000u | g << 16 | g << 8 | g;
        }
        s.At(x, y) = c;
      }
  }
  return s;
}

TEST(ImageMatch, AgreesWithThePlainSearchOnRandomAndDesktopLikeScreens) {
  std::mt19937 rng(20240611);
  auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  const int32_t tolerances[] = {0, 1, 2, 16, 254, 255, 300, -5};
  for (int round = 0; round < 600; ++round) {
    const int32_t sw = 5 + pick(60), sh = 5 + pick(40);
    Image screen = round % 2 ? DesktopLike(rng, sw, sh) : Image(sw, sh);
    if (round % 2 == 0) {
      // Few colours close to each other, channel by channel: many places nearly match.
      for (uint32_t& p : screen.pixels)
        p = 0xFF000000u | static_cast<uint32_t>(0x40 + 2 * pick(3)) << (8 * pick(3)) | static_cast<uint32_t>(pick(2));
    }
    const int32_t w = 1 + pick(std::min(sw, 9)), h = 1 + pick(std::min(sh, 9));
    // A piece of the screen, at its edges and corners as often as inside.
    const int32_t x = round % 3 == 0 ? (pick(2) ? 0 : sw - w) : pick(sw - w + 1);
    const int32_t y = round % 3 == 0 ? (pick(2) ? 0 : sh - h) : pick(sh - h + 1);
    Image picture = Cut(screen, x, y, w, h);
    if (pick(3) == 0) {  // one channel of one pixel a little off, or far off
      uint32_t& p = picture.At(pick(w), pick(h));
      const int shift = 8 * pick(3);
      const uint32_t c = ((p >> shift) + static_cast<uint32_t>(pick(2) ? 1 + pick(3) : 100)) & 0xFFu;
      p = (p & ~(0xFFu << shift)) | c << shift;
    }
    if (pick(3) == 0)
      for (int k = pick(w * h); k > 0; --k) picture.At(pick(w), pick(h)) &= 0x00FFFFFFu;  // transparent
    if (round % 7 == 0) picture.pixels.assign(picture.pixels.size(), 0x00123456u);
    // The virtual screen may begin left of and above 0.
    const Point origin{pick(3) == 0 ? -pick(3000) : pick(50), pick(3) == 0 ? -pick(3000) : pick(50)};
    std::optional<Rect> area;
    if (pick(2)) area = Rect{origin.x + pick(sw + 10) - 5, origin.y + pick(sh + 10) - 5, pick(sw + 10), pick(sh + 10)};
    const int32_t t = tolerances[pick(8)];
    ExpectSame(screen, origin, picture, t, area, "round " + std::to_string(round));
  }
}

TEST(ImageMatch, FindsTheFirstPlaceInReadingOrderAtTheEdgesOfTheToleranceAndTheArea) {
  Image screen(40, 30, 0xFF202020u);
  const auto mark = [&](int32_t x, int32_t y, uint32_t c) {
    screen.At(x, y) = c;
    screen.At(x + 1, y) = 0xFFFF0000u;
  };
  mark(30, 5, 0xFF00FF00u);   // upper right
  mark(2, 6, 0xFF00FF00u);    // lower left: later in reading order
  mark(38, 29, 0xFF08F708u);  // bottom-right corner, each channel 8 off
  Image picture(2, 1);
  picture.At(0, 0) = 0xFF00FF00u;
  picture.At(1, 0) = 0xFFFF0000u;
  const Needle n(picture);
  const Point origin{-1920, -40};
  EXPECT_EQ(Find(screen, origin, n, 0), (Point{-1890, -35}));
  // The area cuts the first place off: the next one counts; an area with the
  // picture only partly inside finds nothing there.
  EXPECT_EQ(Find(screen, origin, n, 0, Rect{-1920, -34, 40, 30}), (Point{-1918, -34}));
  EXPECT_EQ(Find(screen, origin, n, 0, Rect{-1889, -35, 100, 1}), std::nullopt);
  // An area reaching far beyond the screen is cut to it.
  EXPECT_EQ(Find(screen, origin, n, 0, Rect{-100000, -100000, 200000, 200000}), (Point{-1890, -35}));
  // 8 off in every channel: found from 8 on, not at 7.
  const Rect corner{-1882, -11, 2, 1};
  EXPECT_EQ(Find(screen, origin, n, 7, corner), std::nullopt);
  EXPECT_EQ(Find(screen, origin, n, 8, corner), (Point{-1882, -11}));
  // 255: every place matches; the first is the area's corner.
  EXPECT_EQ(Find(screen, origin, n, 255, Rect{-1910, -30, 5, 5}), (Point{-1910, -30}));
  // A picture larger than the screen, or empty, is found nowhere.
  EXPECT_EQ(Find(screen, origin, Needle(Image(41, 1)), 255), std::nullopt);
  EXPECT_EQ(Find(screen, origin, Needle(Image()), 255), std::nullopt);
}

TEST(ImageMatch, APreparationStoppedBeforeItEndsFindsNothingAndAFullScreenPictureTakesNoMorePerPixelThanItself) {
  Image picture(1920, 1080, 0xFF3A6EA5u);
  picture.At(700, 500) = 0xFF000001u;
  std::atomic<bool> stop{true};
  const Needle stopped(picture, &stop);
  EXPECT_FALSE(stopped.Complete());
  EXPECT_EQ(Find(picture, {0, 0}, stopped, 0), std::nullopt);
  stop = false;
  const Needle n(picture, &stop);
  ASSERT_TRUE(n.Complete());
  EXPECT_EQ(Find(picture, {0, 0}, n, 0), (Point{0, 0}));
  // The rarest colour is tried first; the one other colour fills the rest.
  ASSERT_EQ(n.Probes().size(), 8u);
  EXPECT_EQ(n.Probes()[0].x, 700);
  EXPECT_EQ(n.Probes()[0].color, 0x000001u);
  EXPECT_LE(sizeof(Needle) + n.Probes().capacity() * sizeof(Needle::Probe), sizeof(Image) + 1024);
}

TEST(ImageMatch, TransparentPixelsMatchAnything) {
  Image screen(20, 10, 0xFF000000u);
  screen.At(12, 4) = 0xFFABCDEFu;
  Image picture(3, 3, 0x00FFFFFFu);  // a ring of transparent white around one pixel
  picture.At(1, 1) = 0xFFABCDEFu;
  EXPECT_EQ(Find(screen, {0, 0}, Needle(picture), 0), (Point{11, 3}));
  picture.At(1, 1) = 0x80ABCDEFu;  // partly transparent: its colour still counts
  EXPECT_EQ(Find(screen, {0, 0}, Needle(picture), 0), (Point{11, 3}));
  picture.At(1, 1) = 0x00ABCDEFu;  // nothing left that counts: the first place
  EXPECT_EQ(Find(screen, {5, 5}, Needle(picture), 0), (Point{5, 5}));
}

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

TEST(ImagePng, RoundTripKeepsEveryPixelAndItsAlphaUnderANonLatinName) {
  const auto folder = std::filesystem::temp_directory_path() / "tesmuro-png-test";
  std::filesystem::create_directories(folder);
  const std::string path = Utf8(folder / std::filesystem::path(u8"图像1.png"));
  Image img(7, 5);
  for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint32_t>(i * 0x9E3779B9u);
  ASSERT_TRUE(SavePng(path, img));
  std::string error;
  const auto back = LoadPng(path, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->width, 7);
  EXPECT_EQ(back->height, 5);
  EXPECT_EQ(back->pixels, img.pixels);

  // Missing, or not a PNG: nothing, and a reason for the user.
  EXPECT_FALSE(LoadPng(Utf8(folder / "none.png"), &error));
  EXPECT_FALSE(error.empty());
  const std::string text = Utf8(folder / "text.png");
  std::FILE* f = std::fopen(text.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fputs("\x89PNG but not really", f);
  std::fclose(f);
  error.clear();
  EXPECT_FALSE(LoadPng(text, &error));
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(folder);
}

// A PNG's chunks, built by hand (the reader does not check their CRC).
std::string Chunk(const char* type, const std::string& data, uint32_t length) {
  std::string c;
  for (int shift = 24; shift >= 0; shift -= 8) c += static_cast<char>(length >> shift);
  return c + type + data + std::string(4, '\0');
}
std::string Chunk(const char* type, const std::string& data = {}) {
  return Chunk(type, data, static_cast<uint32_t>(data.size()));
}
std::string Header(uint32_t w, uint32_t h, char type = 6) {
  std::string d;
  for (uint32_t v : {w, h})
    for (int shift = 24; shift >= 0; shift -= 8) d += static_cast<char>(v >> shift);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", d + '\x08' + type + std::string(3, '\0'));
}
// A zlib stream that inflates to a zero and then `matches` copies of 258
// zeros: fixed Huffman codes, each copy 13 bits.
std::string Bomb(size_t matches) {
  std::string out("\x78\x01", 2);
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](uint32_t v, int n) {  // LSB first
    acc |= v << bits;
    bits += n;
    while (bits >= 8) out += static_cast<char>(acc), acc >>= 8, bits -= 8;
  };
  auto code = [&](uint32_t c, int n) {  // Huffman codes go most significant bit first
    for (int i = n - 1; i >= 0; --i) put((c >> i) & 1, 1);
  };
  put(1, 1), put(1, 2);  // the last block, fixed codes
  code(0x30, 8);         // literal 0
  for (size_t i = 0; i < matches; ++i) code(0xC5, 8), code(0, 5);  // length 258, distance 1
  code(0, 7);  // end of block
  put(0, 7);
  return out + std::string(4, '\0');
}

TEST(ImagePng, HostileFilesAreRefusedFromTheirChunksAndNoDecodeAsksForMoreThanThePictureNeeds) {
  PngProblem problem = PngProblem::None;
  std::string error;
  // 1x1 whose data chunk claims 2 GB (the file ends after the type).
  const std::string claims2Gb = Header(1, 1, 0).substr(0, 33) + std::string("\x7f\xff\xff\xf0IDAT", 8);
  EXPECT_FALSE(DecodePng(claims2Gb, {}, &problem, &error));
  EXPECT_EQ(problem, PngProblem::Damaged);
  EXPECT_EQ(error, "不是可读的 PNG 图像");
  // Its first data chunk empty, no end: refused; with the end and real
  // data after the empty chunk, read as if it were not there.
  const std::string emptyFirst = Header(1, 1) + Chunk("IDAT");
  EXPECT_FALSE(DecodePng(emptyFirst, {}, &problem));
  EXPECT_EQ(problem, PngProblem::Damaged);
  const std::string folder = Utf8(std::filesystem::temp_directory_path() / "tesmuro-png-hostile");
  std::filesystem::create_directories(folder);
  Image two(2, 1);
  two.At(0, 0) = 0xFF102030u, two.At(1, 0) = 0x80405060u;
  ASSERT_TRUE(SavePng(folder + "/two.png", two));
  std::string good;
  ASSERT_TRUE(ReadWholeFile(folder + "/two.png", good));
  const size_t idat = good.find("IDAT") - 4;
  const auto decoded = DecodePng(good.substr(0, idat) + Chunk("IDAT") + good.substr(idat));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels, two.pixels);
  // A chunk reaching beyond the file, or more bytes than a picture of its
  // size could need.
  EXPECT_FALSE(DecodePng(good.substr(0, good.size() - 13), {}, &problem));
  EXPECT_EQ(problem, PngProblem::Damaged);
  EXPECT_FALSE(DecodePng(good.substr(0, idat) + Chunk("tEXt", std::string(17u << 20, 'x')) + good.substr(idat), {},
                         &problem));
  EXPECT_EQ(problem, PngProblem::Damaged);
  // Pixel data that inflates to 16 MB for a picture of 1x1: refused before
  // the decoder asks for the memory.
  EXPECT_FALSE(DecodePng(Header(1, 1, 0) + Chunk("IDAT", Bomb(65000)) + Chunk("IEND"), {}, &problem));
  EXPECT_EQ(problem, PngProblem::Damaged);

  // Too large for where it is looked for: refused from the header, whatever
  // follows; the same file within the limits reads.
  const std::string huge = Header(16384, 16384) + Chunk("IDAT", "x") + Chunk("IEND");
  EXPECT_FALSE(CheckPng(huge, {}, &problem, &error));
  EXPECT_EQ(problem, PngProblem::TooLarge);
  const PngLimits screen{1280, 1024, int64_t{1} << 27};
  EXPECT_FALSE(LoadPng(folder + "/two.png", &error, PngLimits{1, 1024, 1 << 20}, &problem));
  EXPECT_EQ(problem, PngProblem::TooLarge);
  EXPECT_EQ(error, "图像 2×1 像素，大于查找范围的 1×1024");
  EXPECT_TRUE(LoadPng(folder + "/two.png", &error, screen, &problem));
  EXPECT_EQ(problem, PngProblem::None);
  const auto header = CheckPng(Header(1280, 1024) + Chunk("IDAT", "x") + Chunk("IEND"), screen);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width, 1280);
  for (const std::string& bad : {Header(0, 5), Header(5, 5, 5), Header(0x80000000u, 1), std::string("\x89PNG")})
    EXPECT_FALSE(CheckPng(bad + Chunk("IDAT", "x") + Chunk("IEND"), {}, &problem)) << bad.size();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tesmuro::image
