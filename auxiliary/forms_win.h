// The auxiliary windows (settings dialog, About box, mini window), created
// hidden at start-up and kept until the program ends.
#pragma once

#include <windows.h>

#include <functional>

#include "forms/aux_forms.h"

namespace tesmuro::win {

// A hidden top-level window of the form's class, caption and client size,
// centred on the desktop, owned by `owner`.
HWND CreatePlainForm(const forms::FormSpec& form, HWND owner);

// The mini window: five picture buttons and the step counter label. A click
// calls onCommand with the button's id; closing the window calls onClose and
// hides it.
struct MircoForm {
  HWND window = nullptr;
  HWND label = nullptr;
  std::function<void(int)> onCommand;
  std::function<void()> onClose;

  // The window's messages.
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
};
// `form` must outlive the window.
bool CreateMircoForm(HWND owner, MircoForm& form);

}  // namespace tesmuro::win
