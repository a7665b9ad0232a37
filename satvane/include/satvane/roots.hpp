// Root refinement: pins down the time of a sign change of a scalar function of time that
// has already been bracketed between two sampled instants.
//
// A bracketed hybrid: Newton steps where the function supplies a derivative, false position
// otherwise, bisection when neither lands strictly inside the bracket or when the same end
// has moved three times in a row. Times are seconds since 1970-01-01T00:00:00 UTC.
#pragma once

#include <concepts>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "satvane/error.hpp"

namespace satvane {

namespace roots {

// Ran out of evaluations (or the bracket can no longer shrink in double precision).
struct FailedToConverge {
  std::uint64_t iterations;  // the configured max_iter
  double tolerance;          // the configured time_tolerance, seconds
  double result;             // midpoint of the last bracket, seconds since the epoch
  double error;              // |f| at the last point evaluated
  friend bool operator==(const FailedToConverge&, const FailedToConverge&) = default;
};

// Both ends on the same side of zero (a value that is not a number counts as not positive).
struct Unbracketed {
  friend bool operator==(const Unbracketed&, const Unbracketed&) = default;
};

// The cost function failed; `message` is the failure's display text.
struct CostFn {
  std::string message;
  friend bool operator==(const CostFn&, const CostFn&) = default;
};

class Error {
 public:
  using Detail = std::variant<FailedToConverge, Unbracketed, CostFn>;

  Error(Detail detail) : detail_(std::move(detail)) {}

  const Detail& detail() const { return detail_; }
  template <class Kind>
  const Kind* as() const {
    return std::get_if<Kind>(&detail_);
  }

  // "failed to converge after {iterations} iterations", "root is not bracketed" or
  // "cost function error: {message}".
  std::string text() const;
  // The core error's Roots kind.
  satvane::Error to_core() const { return satvane::Error::roots(text()); }

  friend bool operator==(const Error&, const Error&) = default;

 private:
  Detail detail_;
};

// One evaluation of the cost function, at `time`.
struct Point {
  double time;
  double value;
  std::optional<double> derivative;
};

// The display text of a cost-function failure: its display(), else its text(), else the
// failure itself as a string.
template <class E>
std::string failure_text(const E& failure) {
  if constexpr (requires { { failure.display() } -> std::convertible_to<std::string>; }) {
    return failure.display();
  } else if constexpr (requires { { failure.text() } -> std::convertible_to<std::string>; }) {
    return failure.text();
  } else {
    return std::string(failure);
  }
}

// A cost function maps a time (seconds) to std::expected<T, E>, where T has a double `value`
// and an optional<double> `derivative` (CostSample below, or the detection engine's samples).
template <class Cost>
concept CostFunction = requires(Cost& cost, double t) {
  { cost(t).has_value() } -> std::convertible_to<bool>;
  { cost(t)->value } -> std::convertible_to<double>;
  { cost(t)->derivative } -> std::convertible_to<std::optional<double>>;
  failure_text(cost(t).error());
};

// The plain sample type for cost functions that have no record of their own.
struct CostSample {
  double value;
  std::optional<double> derivative;
};

class Bracket;

}  // namespace roots

// The root finder's configuration. Neither field is validated on construction: a tolerance
// of 0 or below never converges (the solve ends after max_iter evaluations), and a tolerance
// that is not finite makes no iteration at all: after the two end evaluations the solve fails
// with FailedToConverge{iterations = 0}, exactly as max_iter = 0 does.
struct Refinement {
  double time_tolerance = 0.001;  // seconds: bracket width at which the crossing is found
  std::uint64_t max_iter = 100;   // evaluations inside the loop (the two ends not counted)

  // `a` and `b` are the bracket ends in either order; `b` is the first point a Newton step
  // starts from. Allocates nothing except the text of a cost-function failure.
  template <roots::CostFunction Cost>
  [[nodiscard]] std::expected<double, roots::Error> solve(Cost&& cost, double a, double b) const;

  friend bool operator==(const Refinement&, const Refinement&) = default;
};

namespace roots {

// The solver's state between evaluations; `Refinement::solve` only supplies the evaluations.
class Bracket {
 public:
  // Ends evaluated and neither exactly zero: the bracket, or Unbracketed / FailedToConverge
  // (no iteration allowed).
  [[nodiscard]] static std::expected<Bracket, Error> open(const Refinement& refinement, const Point& a, const Point& b);

  // Either the converged time or the next time to evaluate.
  struct Next {
    bool converged;
    double time;
  };
  Next next() const;
  // Takes the evaluation at the candidate (value not exactly zero). Fails once max_iter
  // evaluations are spent, or early when the candidate coincided with an end of the bracket
  // (adjacent doubles: every further evaluation would repeat it).
  std::optional<Error> accept(const Point& x);

 private:
  enum class Side : std::uint8_t { None, Low, High };

  Bracket(const Refinement& refinement, const Point& a, const Point& b);
  Error failed_to_converge(double residual) const;

  Refinement refinement_;
  double lo_, f_lo_, hi_, f_hi_;
  Point last_;
  std::uint64_t evaluations_ = 0;
  unsigned same_side_count_ = 0;
  Side previous_side_ = Side::None;
};

template <CostFunction Cost>
[[nodiscard]] std::expected<Point, Error> evaluate(Cost& cost, double t) {
  auto sample = cost(t);
  if (!sample.has_value()) return std::unexpected(Error(CostFn{failure_text(sample.error())}));
  return Point{t, sample->value, sample->derivative};
}

}  // namespace roots

template <roots::CostFunction Cost>
[[nodiscard]] std::expected<double, roots::Error> Refinement::solve(Cost&& cost, double a, double b) const {
  const auto end_a = roots::evaluate(cost, a);
  if (!end_a) return std::unexpected(end_a.error());
  if (end_a->value == 0.0) return a;
  const auto end_b = roots::evaluate(cost, b);
  if (!end_b) return std::unexpected(end_b.error());
  if (end_b->value == 0.0) return b;

  auto bracket = roots::Bracket::open(*this, *end_a, *end_b);
  if (!bracket) return std::unexpected(std::move(bracket.error()));
  for (;;) {
    const auto next = bracket->next();
    if (next.converged) return next.time;
    const auto x = roots::evaluate(cost, next.time);
    if (!x) return std::unexpected(x.error());
    if (x->value == 0.0) return next.time;
    if (auto failure = bracket->accept(*x)) return std::unexpected(std::move(*failure));
  }
}

}  // namespace satvane
