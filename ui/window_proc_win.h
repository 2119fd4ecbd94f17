// Binding a C++ object to the window it serves, so that a window procedure
// only hands each message to the object's handler.
#pragma once

#include <windows.h>

namespace tesmuro::win {

// The object that serves `hwnd`: CreateWindowExW's last argument, stored with
// the window at WM_NCCREATE. Null before; at WM_NCDESTROY the window lets go
// of it and it is given for the last time.
inline void* WindowObject(HWND hwnd, UINT msg, LPARAM lParam) noexcept {
  if (msg == WM_NCCREATE) {
    void* self = reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
  }
  void* self = reinterpret_cast<void*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return self;
}

// The window procedure of a class whose windows a T serves (pass the T to
// CreateWindowExW). From WM_NCCREATE the window's handle is in the T's
// `Window` member, and every message goes to its `Handler`; WM_NCDESTROY
// clears the member and gets the default handling. A message that arrives
// before, or whose handler lets an exception through, gets the default
// handling too.
template <class T, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM), HWND T::*Window>
LRESULT CALLBACK WindowProcOf(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  auto* self = static_cast<T*>(WindowObject(hwnd, msg, lParam));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCCREATE) self->*Window = hwnd;
  if (msg == WM_NCDESTROY) {
    self->*Window = nullptr;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  try {
    return (self->*Handler)(msg, wParam, lParam);
  } catch (...) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

// The state of a dialog box made from a template: DialogBox...ParamW's last
// argument, stored with the box at WM_INITDIALOG. Null before.
template <class T>
T* DialogObject(HWND dlg, UINT msg, LPARAM lParam) noexcept {
  if (msg == WM_INITDIALOG) SetWindowLongPtrW(dlg, DWLP_USER, lParam);
  return reinterpret_cast<T*>(GetWindowLongPtrW(dlg, DWLP_USER));
}

}  // namespace tesmuro::win
