// The small pictures of the glyph buttons, drawn at the window's DPI.
#pragma once

#include <windows.h>

#include "forms/main_form.h"

namespace tesmuro::win {

// A bitmap of size x size pixels on the button face colour; the caller owns it.
HBITMAP DrawGlyph(forms::main::Glyph glyph, int size);
// The same picture as an icon, transparent around it; the caller owns it.
HICON DrawGlyphIcon(forms::main::Glyph glyph, int size);

}  // namespace tesmuro::win
