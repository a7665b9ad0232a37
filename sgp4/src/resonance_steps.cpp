// Resonance integrator (dspace's 720-minute steps) and its shared store of steps. The
// expressions keep the published evaluation order.
#include "resonance_steps.hpp"

#include <cmath>

namespace sgp4 {
namespace detail {
namespace {

constexpr double resonance_half_step_sq = 259200.0;  // 720^2 / 2

// The integrator state at `atime` with its rates (xldot follows as xni + xfact).
ResonanceState resonance_state(const ResonanceTerms& r, double atime, double xli, double xni) {
  constexpr double fasx2 = 0.13130908;
  constexpr double fasx4 = 2.8843198;
  constexpr double fasx6 = 0.37448087;
  constexpr double g22 = 5.7686396;
  constexpr double g32 = 0.95240898;
  constexpr double g44 = 1.8014998;
  constexpr double g52 = 1.0508330;
  constexpr double g54 = 4.4108898;

  ResonanceState s{xli, xni, 0.0, 0.0};
  const double xldot = xni + r.xfact;
  if (r.kind != Resonance::HalfDay) {
    s.xndt = r.del1 * std::sin(xli - fasx2) + r.del2 * std::sin(2.0 * (xli - fasx4)) +
             r.del3 * std::sin(3.0 * (xli - fasx6));
    s.xnddt = r.del1 * std::cos(xli - fasx2) + 2.0 * r.del2 * std::cos(2.0 * (xli - fasx4)) +
              3.0 * r.del3 * std::cos(3.0 * (xli - fasx6));
  } else {
    const double xomi = r.perigee_at_epoch + r.perigee_rate * atime;
    const double x2omi = xomi + xomi;
    const double x2li = xli + xli;
    s.xndt = r.d2201 * std::sin(x2omi + xli - g22) + r.d2211 * std::sin(xli - g22) +
             r.d3210 * std::sin(xomi + xli - g32) + r.d3222 * std::sin(-xomi + xli - g32) +
             r.d4410 * std::sin(x2omi + x2li - g44) + r.d4422 * std::sin(x2li - g44) +
             r.d5220 * std::sin(xomi + xli - g52) + r.d5232 * std::sin(-xomi + xli - g52) +
             r.d5421 * std::sin(xomi + x2li - g54) + r.d5433 * std::sin(-xomi + x2li - g54);
    s.xnddt = r.d2201 * std::cos(x2omi + xli - g22) + r.d2211 * std::cos(xli - g22) +
              r.d3210 * std::cos(xomi + xli - g32) + r.d3222 * std::cos(-xomi + xli - g32) +
              r.d5220 * std::cos(xomi + xli - g52) + r.d5232 * std::cos(-xomi + xli - g52) +
              2.0 * (r.d4410 * std::cos(x2omi + x2li - g44) + r.d4422 * std::cos(x2li - g44) +
                     r.d5421 * std::cos(xomi + x2li - g54) + r.d5433 * std::cos(-xomi + x2li - g54));
  }
  s.xnddt = s.xnddt * xldot;
  return s;
}

}  // namespace

ResonanceState resonance_start(const ResonanceTerms& r) {
  return resonance_state(r, 0.0, r.xlamo, r.epoch_mean_motion);
}

ResonanceState resonance_step(const ResonanceTerms& r, const ResonanceState& s, double atime, double delt) {
  const double xldot = s.xni + r.xfact;
  const double xli = s.xli + xldot * delt + s.xndt * resonance_half_step_sq;
  const double xni = s.xni + s.xndt * delt + s.xnddt * resonance_half_step_sq;
  return resonance_state(r, atime + delt, xli, xni);
}

}  // namespace detail

const detail::ResonanceState& ResonanceSteps::at(std::size_t count, bool forward) const {
  Branch& branch = branches_[forward ? 0 : 1];
  if (count >= branch.ready.load(std::memory_order_acquire)) extend(branch, forward, count);
  return slot(branch, count);
}

void ResonanceSteps::extend(Branch& branch, bool forward, std::size_t through) const {
  const std::lock_guard lock(grow_);
  const std::size_t ready = branch.ready.load(std::memory_order_relaxed);
  if (through < ready) return;  // another thread stored it meanwhile
  const double delt = forward ? detail::resonance_step_min : -detail::resonance_step_min;
  for (std::size_t step = ready; step <= through; ++step) {
    const std::size_t block = detail::step_blocks::of(step);
    if (!branch.blocks[block]) branch.blocks[block].reset(new detail::ResonanceState[detail::step_blocks::size(block)]);
    // The integration's time, step * delt, is a whole number of minutes: exact, as the sum the
    // model accumulates is.
    slot(branch, step) = step == 0 ? detail::resonance_start(terms_)
                                   : detail::resonance_step(terms_, slot(branch, step - 1),
                                                            double(step - 1) * delt, delt);
  }
  branch.ready.store(through + 1, std::memory_order_release);
}

}  // namespace sgp4
