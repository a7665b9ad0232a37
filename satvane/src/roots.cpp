#include "satvane/roots.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace satvane::roots {
namespace {

// A value that is not a number counts as not positive, like a negative one.
bool is_positive(double value) { return value > 0.0; }

bool strictly_inside(double x, double lo, double hi) { return lo < x && x < hi; }

}  // namespace

std::string Error::text() const {
  struct Text {
    std::string operator()(const FailedToConverge& e) const {
      return "failed to converge after " + std::to_string(e.iterations) + " iterations";
    }
    std::string operator()(const Unbracketed&) const { return "root is not bracketed"; }
    std::string operator()(const CostFn& e) const { return "cost function error: " + e.message; }
  };
  return std::visit(Text{}, detail_);
}

Bracket::Bracket(const Refinement& refinement, const Point& a, const Point& b)
    : refinement_(refinement), last_(b) {
  const bool a_is_lower = a.time < b.time;
  const Point& lower = a_is_lower ? a : b;
  const Point& upper = a_is_lower ? b : a;
  lo_ = lower.time;
  f_lo_ = lower.value;
  hi_ = upper.time;
  f_hi_ = upper.value;
}

std::expected<Bracket, Error> Bracket::open(const Refinement& refinement, const Point& a, const Point& b) {
  if (is_positive(a.value) == is_positive(b.value)) return std::unexpected(Error(Unbracketed{}));
  Bracket bracket(refinement, a, b);
  // A tolerance that is not finite cannot be met meaningfully: no iteration, like max_iter 0.
  if (refinement.max_iter == 0 || !std::isfinite(refinement.time_tolerance)) {
    return std::unexpected(Error(FailedToConverge{0, refinement.time_tolerance, (bracket.lo_ + bracket.hi_) / 2,
                                                  std::abs(b.value)}));
  }
  return bracket;
}

Bracket::Next Bracket::next() const {
  if (refinement_.time_tolerance > hi_ - lo_) {
    // On a tie the earlier end wins.
    return {true, std::abs(f_lo_) <= std::abs(f_hi_) ? lo_ : hi_};
  }
  double x = (lo_ + hi_) / 2;
  // Two moves of the same end in a row mean the interpolation is stuck on one side.
  if (same_side_count_ < 2) {
    const double newton = last_.derivative ? last_.time - last_.value / *last_.derivative
                                             : std::numeric_limits<double>::quiet_NaN();
    const double secant = (f_hi_ * lo_ - hi_ * f_lo_) / (f_hi_ - f_lo_);
    if (strictly_inside(newton, lo_, hi_)) {
      x = newton;
    } else if (strictly_inside(secant, lo_, hi_)) {
      x = secant;
    }
  }
  // Keep half a tolerance from either end so every iteration shrinks the bracket by at least
  // that much. Written as comparisons so a negative tolerance simply has no effect.
  const double half_tolerance = refinement_.time_tolerance / 2;
  if (x < lo_ + half_tolerance) x = lo_ + half_tolerance;
  if (x > hi_ - half_tolerance) x = hi_ - half_tolerance;
  return {false, x};
}

std::optional<Error> Bracket::accept(const Point& x) {
  ++evaluations_;
  // Only when lo and hi are adjacent doubles does the candidate fall on an end; the bracket
  // then cannot change any more, so running out the remaining evaluations would only repeat it.
  const bool stalled = x.time == lo_ || x.time == hi_;
  const Side side = is_positive(x.value) == is_positive(f_lo_) ? Side::Low : Side::High;
  if (side == Side::Low) {
    lo_ = x.time;
    f_lo_ = x.value;
  } else {
    hi_ = x.time;
    f_hi_ = x.value;
  }
  same_side_count_ = previous_side_ == side ? std::min(same_side_count_ + 1, 2u) : 0;  // only < 2 matters
  previous_side_ = side;
  last_ = x;
  if (evaluations_ >= refinement_.max_iter || stalled) return failed_to_converge(std::abs(x.value));
  return std::nullopt;
}

Error Bracket::failed_to_converge(double residual) const {
  return Error(FailedToConverge{refinement_.max_iter, refinement_.time_tolerance, (lo_ + hi_) / 2, residual});
}

}  // namespace satvane::roots
