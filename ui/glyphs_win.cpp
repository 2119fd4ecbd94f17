#include "ui/glyphs_win.h"

#include <algorithm>
#include <vector>

namespace tesmuro::win {
namespace {

using forms::main::Glyph;

// Draws on a 16 x 16 grid, scaled to the bitmap's size.
struct Pen16 {
  HDC dc;
  int size;
  int S(int v) const { return MulDiv(v, size, 16); }
  void Rect(int l, int t, int r, int b, COLORREF fill, COLORREF line) const {
    HBRUSH br = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, line);
    auto ob = SelectObject(dc, br);
    auto op = SelectObject(dc, pen);
    Rectangle(dc, S(l), S(t), S(r), S(b));
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(br);
    DeleteObject(pen);
  }
  void Poly(const POINT* pts16, int n, COLORREF fill, COLORREF line) const {
    POINT p[8];
    for (int i = 0; i < n && i < 8; ++i) p[i] = POINT{S(pts16[i].x), S(pts16[i].y)};
    HBRUSH br = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, line);
    auto ob = SelectObject(dc, br);
    auto op = SelectObject(dc, pen);
    Polygon(dc, p, n);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(br);
    DeleteObject(pen);
  }
  // Thick lines through the points.
  void Lines(const POINT* pts16, int n, COLORREF line) const {
    POINT p[8];
    for (int i = 0; i < n && i < 8; ++i) p[i] = POINT{S(pts16[i].x), S(pts16[i].y)};
    HPEN pen = CreatePen(PS_SOLID, (std::max)(2, S(2)), line);
    auto op = SelectObject(dc, pen);
    Polyline(dc, p, n);
    SelectObject(dc, op);
    DeleteObject(pen);
  }
  void Disc(int l, int t, int r, int b, COLORREF fill, COLORREF line, bool thick = false) const {
    HBRUSH br = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, thick ? (std::max)(2, S(2)) : 1, line);
    auto ob = SelectObject(dc, br);
    auto op = SelectObject(dc, pen);
    Ellipse(dc, S(l), S(t), S(r), S(b));
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(br);
    DeleteObject(pen);
  }
};

constexpr COLORREF kInk = RGB(40, 40, 40);
constexpr COLORREF kWhite = RGB(255, 255, 255);

void Paint(const Pen16& p, Glyph g) {
  switch (g) {
    case Glyph::New: {
      const POINT page[] = {{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}};
      p.Poly(page, 5, kWhite, kInk);
      const POINT fold[] = {{10, 1}, {10, 4}, {13, 4}};
      p.Poly(fold, 3, RGB(200, 200, 200), kInk);
      break;
    }
    case Glyph::Load: {
      p.Rect(1, 5, 13, 14, RGB(235, 200, 90), RGB(120, 90, 20));
      const POINT flap[] = {{3, 8}, {15, 8}, {13, 14}, {1, 14}};
      p.Poly(flap, 4, RGB(250, 225, 130), RGB(120, 90, 20));
      p.Rect(1, 3, 6, 6, RGB(235, 200, 90), RGB(120, 90, 20));
      break;
    }
    case Glyph::Save:
      p.Rect(1, 1, 15, 15, RGB(40, 70, 160), kInk);
      p.Rect(4, 2, 12, 7, kWhite, kInk);
      p.Rect(5, 10, 11, 15, RGB(180, 180, 180), kInk);
      break;
    case Glyph::ToMicro:
      p.Rect(1, 2, 15, 14, kWhite, kInk);
      p.Rect(1, 2, 15, 5, RGB(40, 70, 160), kInk);
      p.Rect(8, 9, 14, 13, RGB(40, 70, 160), kInk);
      break;
    case Glyph::Record:
      p.Disc(2, 2, 14, 14, RGB(220, 30, 30), RGB(120, 0, 0));
      break;
    case Glyph::Play: {
      const POINT tri[] = {{4, 2}, {13, 8}, {4, 14}};
      p.Poly(tri, 3, RGB(30, 160, 50), RGB(0, 90, 20));
      break;
    }
    case Glyph::PlayMemo: {
      // The script's page with a play mark: plays the text as it stands.
      const POINT page[] = {{1, 1}, {9, 1}, {11, 3}, {11, 15}, {1, 15}};
      p.Poly(page, 5, kWhite, kInk);
      const POINT rows[] = {{3, 5}, {8, 5}};
      p.Lines(rows, 2, kInk);
      const POINT rows2[] = {{3, 8}, {7, 8}};
      p.Lines(rows2, 2, kInk);
      const POINT tri[] = {{7, 7}, {15, 11}, {7, 15}};
      p.Poly(tri, 3, RGB(30, 160, 50), RGB(0, 90, 20));
      break;
    }
    case Glyph::Pause:
      p.Rect(3, 2, 7, 14, RGB(30, 90, 200), RGB(0, 40, 120));
      p.Rect(9, 2, 13, 14, RGB(30, 90, 200), RGB(0, 40, 120));
      break;
    case Glyph::Stop:
      p.Rect(3, 3, 13, 13, RGB(60, 60, 60), RGB(0, 0, 0));
      break;
    case Glyph::Ok: {
      const POINT tick[] = {{2, 8}, {6, 12}, {14, 3}};
      p.Lines(tick, 3, RGB(0, 140, 40));
      break;
    }
    case Glyph::No: {
      p.Disc(2, 2, 14, 14, GetSysColor(COLOR_BTNFACE), RGB(200, 20, 20), true);
      const POINT bar[] = {{4, 4}, {12, 12}};
      p.Lines(bar, 2, RGB(200, 20, 20));
      break;
    }
  }
}

}  // namespace

HBITMAP DrawGlyph(Glyph glyph, int size) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  auto old = SelectObject(dc, bmp);
  RECT all{0, 0, size, size};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  Paint(Pen16{dc, size}, glyph);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bmp;
}

HICON DrawGlyphIcon(Glyph glyph, int size) {
  // Drawn on a colour no glyph uses, which then becomes the transparent part.
  constexpr COLORREF kKey = RGB(255, 0, 255);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!color) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  auto old = SelectObject(dc, color);
  RECT all{0, 0, size, size};
  HBRUSH key = CreateSolidBrush(kKey);
  FillRect(dc, &all, key);
  DeleteObject(key);
  Paint(Pen16{dc, size}, glyph);
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);

  // One bit a pixel, rows padded to 16 bits: set where the glyph is not.
  const int stride = ((size + 15) / 16) * 2;
  std::vector<BYTE> mask(static_cast<size_t>(stride) * size, 0);
  auto* px = static_cast<DWORD*>(bits);
  const DWORD keyPixel = 0x00FF00FF;  // kKey as the DIB holds it (blue, green, red)
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      DWORD& p = px[y * size + x];
      if ((p & 0x00FFFFFF) == keyPixel) {
        p = 0;
        mask[static_cast<size_t>(y) * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      } else {
        p |= 0xFF000000;
      }
    }
  }
  HBITMAP maskBmp = CreateBitmap(size, size, 1, 1, mask.data());
  ICONINFO ii{};
  ii.fIcon = TRUE;
  ii.hbmMask = maskBmp;
  ii.hbmColor = color;
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(maskBmp);
  DeleteObject(color);
  return icon;
}

}  // namespace tesmuro::win
