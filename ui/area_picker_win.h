// The screen frozen under a window that covers every monitor, on which the
// user drags the rectangle of a picture to take.
//
// Dragging with the left button draws the rectangle; once the button is up
// it stays, to be adjusted: the arrow keys move it by a pixel (with Shift
// they move its right or bottom edge), a drag inside it moves it, a drag
// outside it starts a new one. Enter or a double click inside it takes the
// picture; Esc or the right button gives up.
#pragma once

#include <windows.h>

#include <optional>

#include "image/image.h"

namespace tesmuro::win {

struct PickedArea {
  RECT rect{};            // screen pixels, right and bottom exclusive
  image::Image picture;   // the pixels of `rect` as they were when the screen froze
};

// Freezes the screen as it is now and runs until the user takes a
// rectangle or gives up (nothing then). Messages to the program's other
// windows are handled meanwhile.
std::optional<PickedArea> PickScreenArea();

}  // namespace tesmuro::win
