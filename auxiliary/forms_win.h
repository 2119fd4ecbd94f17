// The auxiliary windows (settings dialog, About box, mini window), created
// hidden at start-up and kept until the program ends.
#pragma once

#include <windows.h>

#include "forms/aux_forms.h"

namespace tesmuro::win {

// A hidden top-level window of the form's class, caption and client size,
// centred on the desktop, owned by `owner`.
HWND CreatePlainForm(const forms::FormSpec& form, HWND owner);

// The mini window with its step counter label; returns the window and the label.
HWND CreateMircoForm(HWND owner, HWND* label);

}  // namespace tesmuro::win
