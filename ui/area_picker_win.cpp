#include "ui/area_picker_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <cstdint>
#include <string>

#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"

namespace tesmuro::win {
namespace {

constexpr wchar_t kClassName[] = L"TesmuroAreaPicker";
constexpr COLORREF kFrameColour = RGB(0, 120, 215);
constexpr COLORREF kLabelBack = RGB(32, 32, 32);
constexpr COLORREF kLabelText = RGB(255, 255, 255);
constexpr wchar_t kHint[] =
    L"拖动鼠标选择区域　方向键移动（Shift+方向键调整大小）　Enter 或双击确认　Esc 或右键取消";

// A 32-bit top-down DIB section selected into a memory DC of its own.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;  // 0x00RRGGBB per pixel, row after row
  int width = 0, height = 0;

  bool Make(int w, int h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    if (!bitmap) return false;
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
    bits = static_cast<uint32_t*>(p);
    width = w;
    height = h;
    return true;
  }
  ~Surface() {
    if (dc) {
      SelectObject(dc, old);
      DeleteDC(dc);
    }
    if (bitmap) DeleteObject(bitmap);
  }
};

class Picker {
 public:
  HWND window = nullptr;

  bool Freeze() {
    origin_ = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0 || !shot_.Make(w, h) || !dim_.Make(w, h) || !back_.Make(w, h)) return false;
    HDC screen = GetDC(nullptr);
    const BOOL ok = BitBlt(shot_.dc, 0, 0, w, h, screen, origin_.x, origin_.y, SRCCOPY | CAPTUREBLT);
    ReleaseDC(nullptr, screen);
    if (!ok) return false;
    GdiFlush();
    // What lies outside the rectangle is shown darker.
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (size_t i = 0; i < n; ++i) {
      const uint32_t p = shot_.bits[i];
      dim_.bits[i] = ((p >> 1) & 0x7F7F7Fu) + ((p >> 3) & 0x1F1F1Fu);
    }
    return true;
  }

  std::optional<PickedArea> Run() {
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &WindowProcOf<Picker, &Picker::Handle, &Picker::window>;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly once the class exists
    if (!CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"截取图像", WS_POPUP, origin_.x, origin_.y,
                         shot_.width, shot_.height, nullptr, nullptr, inst, this))
      return std::nullopt;
    // The hint is Chinese whatever the system's language: a font asked for by that character set.
    font_ = CreateFontW(Scale(-12, DpiOf(window)), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                        L"SimSun");
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(window);
    MSG msg;
    while (!done_) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the program's own loop
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (window) DestroyWindow(window);
    if (font_) DeleteObject(font_);
    if (!accepted_ || Empty()) return std::nullopt;
    PickedArea a;
    a.rect = {sel_.left + origin_.x, sel_.top + origin_.y, sel_.right + origin_.x, sel_.bottom + origin_.y};
    a.picture = image::Image(sel_.right - sel_.left, sel_.bottom - sel_.top);
    for (int y = 0; y < a.picture.height; ++y)
      for (int x = 0; x < a.picture.width; ++x)
        a.picture.At(x, y) = 0xFF000000u | (shot_.bits[static_cast<size_t>(sel_.top + y) * shot_.width + sel_.left + x] &
                                            0xFFFFFFu);
    return a;
  }

 private:
  enum class Drag { None, Draw, Move };

  bool Empty() const { return sel_.right <= sel_.left || sel_.bottom <= sel_.top; }
  bool Inside(POINT p) const { return !Empty() && PtInRect(&sel_, p); }

  static POINT PointOf(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

  POINT Clamp(POINT p) const {
    return {std::clamp<LONG>(p.x, 0, shot_.width - 1), std::clamp<LONG>(p.y, 0, shot_.height - 1)};
  }

  // The rectangle with both corner pixels in it.
  void Span(POINT a, POINT b) {
    a = Clamp(a);
    b = Clamp(b);
    SetSelection({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1});
  }

  // The rectangle moved by dx, dy, kept on the screen.
  void Shift(int dx, int dy) {
    const LONG w = sel_.right - sel_.left, h = sel_.bottom - sel_.top;
    const LONG x = std::clamp<LONG>(sel_.left + dx, 0, shot_.width - w);
    const LONG y = std::clamp<LONG>(sel_.top + dy, 0, shot_.height - h);
    SetSelection({x, y, x + w, y + h});
  }

  void SetSelection(RECT r) {
    Invalidate(sel_);
    sel_ = r;
    Invalidate(sel_);
  }

  // What a rectangle's drawing covers: its frame, its size label above it.
  void Invalidate(const RECT& r) {
    if (r.right <= r.left) return;
    RECT area{r.left - 3, r.top - labelHeight_ - 6, std::max(r.right + 3, r.left + labelWidth_ + 6),
              std::max(r.bottom + 3, r.top + labelHeight_ + 10)};
    InvalidateRect(window, &area, FALSE);
  }

  void Finish(bool accepted) {
    accepted_ = accepted;
    done_ = true;
    if (GetCapture() == window) ReleaseCapture();
  }

  void OnKey(WPARAM key) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    int dx = 0, dy = 0;
    switch (key) {
      case VK_ESCAPE: Finish(false); return;
      case VK_RETURN:
        if (!Empty() && drag_ == Drag::None) Finish(true);
        return;
      case VK_LEFT: dx = -1; break;
      case VK_RIGHT: dx = 1; break;
      case VK_UP: dy = -1; break;
      case VK_DOWN: dy = 1; break;
      default: return;
    }
    if (drag_ != Drag::None || Empty()) {
      // The pointer itself moves a pixel: before and during a drag it is
      // what places the corner.
      POINT p;
      GetCursorPos(&p);
      SetCursorPos(p.x + dx, p.y + dy);
      return;
    }
    if (shift) {
      RECT r = sel_;
      r.right = std::clamp<LONG>(r.right + dx, r.left + 1, shot_.width);
      r.bottom = std::clamp<LONG>(r.bottom + dy, r.top + 1, shot_.height);
      SetSelection(r);
    } else {
      Shift(dx, dy);
    }
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    const RECT& u = ps.rcPaint;
    const int uw = u.right - u.left, uh = u.bottom - u.top;
    BitBlt(back_.dc, u.left, u.top, uw, uh, dim_.dc, u.left, u.top, SRCCOPY);
    if (!Empty()) {
      BitBlt(back_.dc, sel_.left, sel_.top, sel_.right - sel_.left, sel_.bottom - sel_.top, shot_.dc, sel_.left,
             sel_.top, SRCCOPY);
      // The frame lies just outside the rectangle, over none of its pixels.
      HPEN pen = CreatePen(PS_SOLID, 1, kFrameColour);
      HGDIOBJ oldPen = SelectObject(back_.dc, pen);
      HGDIOBJ oldBrush = SelectObject(back_.dc, GetStockObject(NULL_BRUSH));
      Rectangle(back_.dc, sel_.left - 1, sel_.top - 1, sel_.right + 1, sel_.bottom + 1);
      SelectObject(back_.dc, oldBrush);
      SelectObject(back_.dc, oldPen);
      DeleteObject(pen);
      DrawLabel();
    }
    DrawHint();
    BitBlt(dc, u.left, u.top, uw, uh, back_.dc, u.left, u.top, SRCCOPY);
    EndPaint(window, &ps);
  }

  // "X,Y  W × H" above the rectangle (inside it when there is no room).
  void DrawLabel() {
    const std::wstring text = std::to_wstring(sel_.left + origin_.x) + L"," + std::to_wstring(sel_.top + origin_.y) +
                              L"   " + std::to_wstring(sel_.right - sel_.left) + L" \u00D7 " +
                              std::to_wstring(sel_.bottom - sel_.top);
    HGDIOBJ oldFont = SelectObject(back_.dc, font_);
    SIZE size{};
    GetTextExtentPoint32W(back_.dc, text.c_str(), static_cast<int>(text.size()), &size);
    labelWidth_ = std::max<int>(labelWidth_, size.cx + 8);
    labelHeight_ = std::max<int>(labelHeight_, size.cy + 4);
    RECT box{sel_.left - 1, sel_.top - 2 - (size.cy + 4), sel_.left - 1 + size.cx + 8, sel_.top - 2};
    if (box.top < 0) OffsetRect(&box, 0, size.cy + 8);
    HBRUSH back = CreateSolidBrush(kLabelBack);
    FillRect(back_.dc, &box, back);
    DeleteObject(back);
    SetBkMode(back_.dc, TRANSPARENT);
    SetTextColor(back_.dc, kLabelText);
    DrawTextW(back_.dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(back_.dc, oldFont);
  }

  // What the keys do, at the top of the primary monitor, until the first press.
  void DrawHint() {
    if (pressed_) return;
    HGDIOBJ oldFont = SelectObject(back_.dc, font_);
    SIZE size{};
    GetTextExtentPoint32W(back_.dc, kHint, static_cast<int>(wcslen(kHint)), &size);
    const int primaryWidth = GetSystemMetrics(SM_CXSCREEN);
    hint_.left = -origin_.x + (primaryWidth - size.cx) / 2 - 12;
    hint_.top = -origin_.y + 16;
    hint_.right = hint_.left + size.cx + 24;
    hint_.bottom = hint_.top + size.cy + 12;
    HBRUSH back = CreateSolidBrush(kLabelBack);
    FillRect(back_.dc, &hint_, back);
    DeleteObject(back);
    SetBkMode(back_.dc, TRANSPARENT);
    SetTextColor(back_.dc, kLabelText);
    DrawTextW(back_.dc, kHint, -1, &hint_, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(back_.dc, oldFont);
  }

  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_PAINT: Paint(); return 0;
      case WM_ERASEBKGND: return 1;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: {
        const POINT p = PointOf(lParam);
        if (msg == WM_LBUTTONDBLCLK && Inside(p)) {
          Finish(true);
          return 0;
        }
        if (!pressed_) {
          pressed_ = true;
          InvalidateRect(window, &hint_, FALSE);
        }
        SetCapture(window);
        if (Inside(p)) {
          drag_ = Drag::Move;
          last_ = p;
        } else {
          drag_ = Drag::Draw;
          anchor_ = Clamp(p);
          Span(anchor_, anchor_);
        }
        return 0;
      }
      case WM_MOUSEMOVE: {
        const POINT p = PointOf(lParam);
        if (drag_ == Drag::Draw) {
          Span(anchor_, p);
        } else if (drag_ == Drag::Move) {
          Shift(p.x - last_.x, p.y - last_.y);
          last_ = p;
        }
        return 0;
      }
      case WM_LBUTTONUP:
        if (drag_ == Drag::Draw) Span(anchor_, PointOf(lParam));
        drag_ = Drag::None;
        if (GetCapture() == window) ReleaseCapture();
        return 0;
      case WM_CAPTURECHANGED:
        drag_ = Drag::None;
        return 0;
      case WM_RBUTTONUP: Finish(false); return 0;
      case WM_KEYDOWN: OnKey(wParam); return 0;
      case WM_CLOSE: Finish(false); return 0;
      case WM_DESTROY: done_ = true; return 0;
      default: return DefWindowProcW(window, msg, wParam, lParam);
    }
  }

  Surface shot_, dim_, back_;
  POINT origin_{};
  RECT sel_{};
  RECT hint_{};
  POINT anchor_{}, last_{};
  Drag drag_ = Drag::None;
  bool pressed_ = false;
  bool done_ = false, accepted_ = false;
  int labelWidth_ = 240, labelHeight_ = 24;  // grown to what the label needs
  HFONT font_ = nullptr;
};

}  // namespace

std::optional<PickedArea> PickScreenArea() {
  Picker picker;
  if (!picker.Freeze()) return std::nullopt;
  return picker.Run();
}

}  // namespace tesmuro::win
