// The integrator of the 12 h and 24 h geopotential resonance, and the store of its steps.
//
// The model integrates the resonance from the epoch in fixed 720-minute steps and ends with a
// Taylor step to the time asked for. The state after k steps therefore never depends on the
// time asked for, only on k: storing each state once reached makes every later propagation
// start from the stored step, at the cost of a propagation at the epoch, with the same bits as
// integrating from the epoch.
//
// Why a shared store and not a cursor per caller: a cursor (the last state reached) makes only
// increasing times cheap, and each search iterator or point query would need its own. The
// store serves increasing and random times alike and is made once per element set; copies of
// a predictor share it through a shared_ptr.
//
// Thread safety: any number of threads may call at() at once. A step once stored never
// changes or moves (blocks are allocated whole and freed only with the store), and the count
// of stored steps of each direction is published with release/acquire ordering, so a reader
// that sees a step below the count sees the step itself. Growing takes a mutex; a reader of
// steps already stored takes no lock and allocates nothing.
//
// Memory: 32 bytes a step, in blocks that double in size, so at most twice what the farthest
// time reached needs: about 0.5 MB at ten years from the epoch (each side), 4 MB at the
// hundred-year bound.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <memory>
#include <mutex>

#include "sgp4/propagator.hpp"

namespace sgp4 {
namespace detail {

inline constexpr double resonance_step_min = 720.0;
// Past a century from the epoch the model means nothing, and integrating there would take
// unbounded time and memory: such times give NaN mean elements, reported as a non-finite state.
inline constexpr double max_resonance_span_min = 100.0 * 365.25 * 1440.0;
inline constexpr std::size_t max_resonance_steps = std::size_t(max_resonance_span_min / resonance_step_min);

// The integrator state at the epoch.
ResonanceState resonance_start(const ResonanceTerms& r);
// One Euler-Maclaurin step of `delt` minutes from the state `s` at `atime` minutes.
ResonanceState resonance_step(const ResonanceTerms& r, const ResonanceState& s, double atime, double delt);

// Where ResonanceSteps keeps each step: block 0 holds steps [0, 64), block b >= 1 holds
// [64 << (b - 1), 64 << b), so a block is as large as all before it together.
namespace step_blocks {
inline constexpr std::size_t first_size = 64;
constexpr std::size_t of(std::size_t step) {
  return step < first_size ? 0 : std::size_t(std::bit_width(step / first_size));
}
constexpr std::size_t start(std::size_t block) { return block == 0 ? 0 : first_size << (block - 1); }
constexpr std::size_t size(std::size_t block) { return block == 0 ? first_size : start(block); }
inline constexpr std::size_t count = of(max_resonance_steps) + 1;
}  // namespace step_blocks

}  // namespace detail

class ResonanceSteps {
 public:
  explicit ResonanceSteps(const detail::ResonanceTerms& terms) : terms_(terms) {}
  ResonanceSteps(const ResonanceSteps&) = delete;
  ResonanceSteps& operator=(const ResonanceSteps&) = delete;

  // The state `count` steps (at most max_resonance_steps) after the epoch when `forward`,
  // before it otherwise; integrates and stores the steps up to it on first use.
  const detail::ResonanceState& at(std::size_t count, bool forward) const;

 private:
  // The steps of one direction of time.
  struct Branch {
    std::atomic<std::size_t> ready{0};  // steps [0, ready) are stored
    std::array<std::unique_ptr<detail::ResonanceState[]>, detail::step_blocks::count> blocks;
  };

  static detail::ResonanceState& slot(Branch& branch, std::size_t step) {
    const std::size_t block = detail::step_blocks::of(step);
    return branch.blocks[block][step - detail::step_blocks::start(block)];
  }
  void extend(Branch& branch, bool forward, std::size_t through) const;

  detail::ResonanceTerms terms_;
  mutable std::mutex grow_;
  mutable std::array<Branch, 2> branches_;  // forward, backward
};

}  // namespace sgp4
