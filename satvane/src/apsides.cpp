#include "satvane/apsides.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "satvane/diagnostics.hpp"
#include "satvane/frames.hpp"

namespace satvane {
namespace {

void report_apsis(const Apsis& apsis) {
  if (auto* sink = diagnostics::active_sink()) {
    const std::string_view event = apsis.event == ApsisEvent::Perigee ? "Perigee" : "Apogee";
    diagnostics::send(*sink, "satvane::apsides", "apsis detected",
                      {{"event", event}, {"time", apsis.time}, {"altitude_km", apsis.altitude_m / 1000.0}});
  }
}

}  // namespace

SampleResult RadialVelocity::sample(Instant t) const {
  const auto teme = predictor.propagate(t);
  if (!teme) return std::unexpected(teme.error());
  return EventSample{dot(teme->position_m, teme->velocity_m_s), std::nullopt, t};
}

ApsisIter::ApsisIter(const Predictor& predictor, TimeInterval interval, const ApsisIterOpts& opts,
                     const Refinement& refinement)
    : crossings_(*crossing_iter_builder()
                      .function(RadialVelocity{predictor})
                      .step_strategy(FixedStep{std::max(opts.step, Duration::seconds(1))})
                      .refinement(refinement)
                      .interval(interval.start, interval.end)
                      .build()) {}  // cannot fail: the interval is set

std::optional<ApsisItem> ApsisIter::next() {
  auto item = crossings_.next();
  if (!item) return std::nullopt;
  if (!*item) return std::unexpected(std::move(item->error()));
  // r · v rising through zero: the distance stops falling.
  const ApsisEvent event = (*item)->direction == CrossingDirection::Rising ? ApsisEvent::Perigee : ApsisEvent::Apogee;
  // The event function's own copy of the predictor serves for the altitude.
  const auto teme = crossings_.detector().function.predictor.propagate((*item)->time);
  if (!teme) return std::unexpected(teme.error());
  const Apsis apsis{(*item)->time, event, norm(teme->position_m) - kWgs84A_m};
  report_apsis(apsis);
  return apsis;
}

ApsisIter apsis_iter_with_opts(const Predictor& predictor, TimeInterval interval, const ApsisIterOpts& opts) {
  return ApsisIter(predictor, interval, opts, predictor.refinement());
}

}  // namespace satvane
