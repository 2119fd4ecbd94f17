// The Windows input sink: SendInput and keybd_event (play/input_sink_win.cpp).
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "play/input_sink.h"

#ifndef MOUSEEVENTF_VIRTUALDESK
#define MOUSEEVENTF_VIRTUALDESK 0x4000
#endif

namespace tesmuro::play {

// The system's input, for the program's main to hand down. Safe to share
// between threads. Its Desktop() is `desktop` (may be null: no waits).
std::unique_ptr<IInputSink> NewWinInputSink(std::shared_ptr<IDesktop> desktop);

// The one input record of a button or wheel event (`flags`, `data`). With a
// place, the record also moves the pointer there, absolute over the whole
// virtual screen, so that the system cannot act on the button at the
// pointer's previous position; without one, `dx`, `dy` go along as they are
// and the system ignores them. The record carries the player's tag, as its
// keys do.
INPUT MouseRecord(DWORD flags, DWORD data, int32_t dx, int32_t dy, std::optional<PointerPlace> at,
                  const ScreenRect& virtualScreen);

// The input records that type one character as itself: a key down and up
// with KEYEVENTF_UNICODE and the UTF-16 unit as the scan code, two such
// pairs for a character beyond the BMP (high surrogate, then low), tagged
// as the player's. Returns how many records it wrote into `out` (2 or 4).
int UnicodeRecords(char32_t codePoint, INPUT out[4]);

}  // namespace tesmuro::play
