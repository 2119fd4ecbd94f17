// Global input on X11 through the RECORD extension, on a connection and a
// thread of its own: the asynchronous context is polled together with a
// wake-up descriptor, so Stop() ends it at once. The thread only copies each
// event into a queue; the owner takes them with Take() when EventFd() is
// readable.
//
// For game mode it also takes the pointer's XInput 2 raw motion, on a third
// connection polled by the same thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/x_input_translator.h"

typedef struct _XDisplay Display;

namespace tesmuro::record {

class XRecordListener {
 public:
  XRecordListener();
  ~XRecordListener();
  XRecordListener(const XRecordListener&) = delete;
  XRecordListener& operator=(const XRecordListener&) = delete;

  // Starts listening to key events and/or pointer events (motion, buttons)
  // of every client, and with `rawMotion` the pointer's raw motion
  // (kXRawMotion events). Returns once the server records, so that no input
  // after it is lost. Empty on success, else a message (UTF-8).
  std::string Start(const char* displayName, bool keys, bool pointer, bool rawMotion = false);
  void Stop();

  // Readable while events wait in the queue.
  int EventFd() const { return eventFd_; }
  // Moves the waiting events into `out` (appending) and clears the descriptor.
  void Take(std::vector<XInputEvent>& out);
  // The listener's thread has ended by itself (the context ended).
  bool Ended() const { return ended_.load(); }

  // The server's millisecond time, read once at Start(), and the monotonic
  // time (microseconds) at which it was read: the recording clock's origin.
  uint32_t ServerTimeAtStart() const { return serverTime_; }
  int64_t MonoMicrosAtStart() const { return monoAtStart_; }
  // Layout letters and NumLock as the server had them at Start().
  const XInputTranslator::LetterMap& Letters() const { return letters_; }
  bool NumLockOn() const { return numLock_; }
  // With raw motion: the pointer devices whose axes are absolute, as they
  // were at Start().
  const std::map<int32_t, XAbsolutePointer>& AbsolutePointers() const { return absolute_; }

 private:
  friend struct RecordCallback;
  void Deliver(const XInputEvent& e);
  void MarkStarted();
  void Publish();
  void Run();
  void ReadServerState();
  std::string StartRawMotion(const char* displayName);
  void ReadRawMotion();

  Display* control_ = nullptr;
  Display* data_ = nullptr;
  Display* raw_ = nullptr;
  int xiOpcode_ = 0;
  std::map<int32_t, XAbsolutePointer> absolute_;
  unsigned long context_ = 0;
  int wakeFd_ = -1;
  int eventFd_ = -1;
  int fdError_ = 0;  // errno of a descriptor that could not be made
  std::thread thread_;
  std::atomic<bool> ended_{false};
  std::mutex mutex_;
  std::vector<XInputEvent> queue_;
  bool started_ = false;  // the server began to record (under mutex_)
  std::condition_variable startedCv_;
  std::vector<XInputEvent> batch_;  // the thread's own: what its current round read
  bool endOfData_ = false;          // the thread's own: the context ended
  uint32_t serverTime_ = 0;
  int64_t monoAtStart_ = 0;
  XInputTranslator::LetterMap letters_{};
  bool numLock_ = true;
};

}  // namespace tesmuro::record
