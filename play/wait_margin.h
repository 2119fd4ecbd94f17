// How early the player's clock must stop sleeping to be on time.
//
// A timed wait of the system (a waitable timer, a wait with a timeout) ends
// somewhat after the time it was set for: by the timer's resolution and by how
// long the woken thread waits for a processor. The clock sleeps until the due
// time minus a margin and spins through the rest on the performance counter,
// so the margin decides both how late actions come (too small: the sleep
// overshoots the due time) and how much processor time the spin burns (too
// large: it spins longer than needed).
//
// WaitMargin learns the margin from the lateness of the clock's own recent
// sleeps: a high percentile of the last kWindow sleeps, plus some padding,
// kept between a floor and a ceiling. The ceiling bounds the spin of every
// wait whatever the system does, so a long delay costs at most that much
// processor time; until kWarmUp sleeps have been seen the margin is at least
// the initial one. Portable and single-threaded: the clock's waiting thread
// owns it.
#pragma once

#include <array>
#include <cstdint>

namespace tesmuro::play {

class WaitMargin {
 public:
  struct Settings {
    int64_t initialMicros = 1500;  // at least this until kWarmUp sleeps were seen
    int64_t floorMicros = 50;
    int64_t ceilingMicros = 2500;  // the longest spin of one wait
    int percentile = 98;           // of the recent sleeps' lateness, 1..100
    int64_t paddingMicros = 100;   // added to the percentile
  };
  static constexpr int kWindow = 128;
  static constexpr int kWarmUp = 8;

  // Out-of-range settings are brought into range: negative times count as 0,
  // a ceiling below the floor as the floor, the percentile is kept to 1..100.
  WaitMargin() : WaitMargin(Settings{}) {}
  explicit WaitMargin(const Settings& settings);

  // The current margin in microseconds, from floor to ceiling.
  int64_t Micros() const { return margin_; }

  // A sleep set to end at time T ended at T + lateMicros (negative when it
  // ended early, which counts as on time). Any value is accepted.
  void Observe(int64_t lateMicros);

  // Sleeps observed so far (all of them, not only those in the window).
  int64_t Observed() const { return observed_; }

  const Settings& Limits() const { return settings_; }

 private:
  void Update();

  Settings settings_;
  std::array<int64_t, kWindow> late_{};  // ring of the last sleeps' lateness, 0..ceiling
  int count_ = 0;                        // entries of late_ in use
  int next_ = 0;                         // where the next one goes
  int64_t observed_ = 0;
  int64_t margin_ = 0;
};

}  // namespace tesmuro::play
