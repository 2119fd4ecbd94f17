// The hook thread with real low-level hooks and injected input (Windows
// build only): what its keyboard hook hands over, the watchdog's reinstall
// of a hook the system dropped, and requests that time out.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "record/hook_thread_win.h"
#include "record/key_hook.h"

namespace tesmuro::win {
namespace {

constexpr UINT kWake = WM_APP + 50;
// Keys no program here reacts to.
constexpr WORD kKeyA = VK_F23, kKeyB = VK_F24;

class HookThreadTest : public ::testing::Test {
 protected:
  HookThreadTest() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TesmuroHookThreadTest";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    hooks = std::make_unique<HookThread>(window, kWake);
  }
  ~HookThreadTest() override {
    hooks.reset();
    DestroyWindow(window);
  }

  static void Inject(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
  }
  static void Tap(WORD vk) {
    Inject(vk, false);
    Inject(vk, true);
  }
  static void MoveMouse() {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = 1;
    in.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &in, sizeof in);
  }
  // Lets the tick count move on, so that input after this is newer than
  // what came before.
  static void NextTick() {
    const DWORD t = GetTickCount();
    while (GetTickCount() == t) Sleep(5);
  }

  // Collects the key events of `vk` that the hook hands over, until `count`
  // of them came (or a generous deadline passed).
  std::vector<KeyHookEvent> KeyEvents(DWORD vk, size_t count) {
    const DWORD start = GetTickCount();
    std::vector<HookEvent> taken;
    while (seen[vk].size() < count && GetTickCount() - start < 10000) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      hooks->TakeEvents(taken);
      for (auto& e : taken)
        if (auto* k = std::get_if<KeyHookEvent>(&e)) seen[k->vk].push_back(*k);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return seen[vk];
  }
  // Everything the hook hands over until the marker key `vk` comes down:
  // the events before it arrived in order, and the hook has seen the marker.
  void Settle(DWORD vk) {
    Inject(static_cast<WORD>(vk), false);
    KeyEvents(vk, seen[vk].size() + 1);
    Inject(static_cast<WORD>(vk), true);
    KeyEvents(vk, seen[vk].size() + 1);
  }

  HWND window = nullptr;
  std::unique_ptr<HookThread> hooks;
  std::map<DWORD, std::vector<KeyHookEvent>> seen;
};

TEST_F(HookThreadTest, InjectedKeysCarryTheFlagAndTheInjectedModifiers) {
  ASSERT_TRUE(hooks->InstallKeyboardHook());
  Inject(VK_LCONTROL, false);
  Tap(kKeyA);
  Inject(VK_LCONTROL, true);
  Tap(kKeyA);
  const auto events = KeyEvents(kKeyA, 4);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].message, static_cast<uint32_t>(WM_KEYDOWN));
  EXPECT_TRUE(KeyInjected(events[0].flags));
  EXPECT_EQ(events[0].modifiers, Shortcut::kCtrl) << "the program's Ctrl, held overall";
  EXPECT_EQ(events[0].realModifiers, 0) << "but not by the user";
  EXPECT_EQ(events[1].message, static_cast<uint32_t>(WM_KEYUP));
  EXPECT_EQ(events[2].modifiers, 0);
}

TEST_F(HookThreadTest, TheWatchdogReinstallsAHookTheSystemDroppedAndSaysSo) {
  hooks->SetWatchdogTiming({0, 0});  // every call checks; any newer input is suspect
  ASSERT_TRUE(hooks->InstallKeyboardHook());
  Settle(kKeyB);
  EXPECT_FALSE(hooks->CheckKeyboardHook()) << "the hook saw the last input";

  // Mouse input, which a keyboard hook never sees: a reinstall that finds
  // the old hook in place is not reported, and loses or doubles no key.
  NextTick();
  MoveMouse();
  EXPECT_FALSE(hooks->CheckKeyboardHook());
  Tap(kKeyA);
  Settle(kKeyB);
  EXPECT_EQ(KeyEvents(kKeyA, 2).size(), 2u);

  // The system removes the hook; keys go unseen until the watchdog acts.
  ASSERT_TRUE(hooks->DropKeyboardHookForTest());
  NextTick();
  Tap(kKeyA);
  EXPECT_TRUE(hooks->CheckKeyboardHook()) << "the old hook was gone: reported";
  Tap(kKeyA);
  Settle(kKeyB);
  EXPECT_EQ(KeyEvents(kKeyA, 4).size(), 4u) << "the new hook sees keys again (the unseen tap stays lost)";
  EXPECT_FALSE(hooks->CheckKeyboardHook());
  hooks->UninstallKeyboardHook();
  EXPECT_FALSE(hooks->CheckKeyboardHook()) << "no hook, nothing to reinstall";
}

TEST_F(HookThreadTest, AnAnswerThatCameTooLateIsNotTheNextRequestsAnswer) {
  hooks->SetRequestTimeoutForTest(50);
  hooks->StallForTest(500);
  EXPECT_FALSE(hooks->InstallMouseHook()) << "no answer in time";  // its late answer is "installed"
  hooks->SetRequestTimeoutForTest(10000);
  EXPECT_FALSE(hooks->DropKeyboardHookForTest()) << "there is no keyboard hook to remove";
  EXPECT_TRUE(hooks->InstallKeyboardHook());
  EXPECT_TRUE(hooks->DropKeyboardHookForTest());
  hooks->UninstallMouseHook();
}

}  // namespace
}  // namespace tesmuro::win
#endif
