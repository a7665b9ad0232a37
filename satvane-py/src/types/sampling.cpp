#include "types/sampling.hpp"

#include <optional>
#include <utility>

#include "area.hpp"
#include "predictor.hpp"
#include "satvane/sampling.hpp"
#include "types/iterator.hpp"
#include "types/observation.hpp"
#include "types/value_helpers.hpp"
#include "vectors.hpp"

namespace satvane::py {

namespace {

// An item of a series: the tuple (datetime, value).
template <class T>
PyObject* wrap_sample(ModuleState& state, const std::pair<Instant, T>& sample) {
  return timed_tuple(state, sample.first, to_py(state, sample.second));
}

constexpr IteratorTexts kPredictionTexts{ClassId::PredictionIter, "satvane._satvane.PredictionIter",
                                         "Lazy iterator yielding `(datetime, StateVectorTeme)` at regular intervals."};
constexpr IteratorTexts kGroundTrackTexts{
    ClassId::GroundTrackIter, "satvane._satvane.GroundTrackIter",
    "Lazy iterator yielding `(datetime, GeodeticPoint)` sub-satellite points at regular intervals."};
constexpr IteratorTexts kObservationTexts{ClassId::ObservationIter, "satvane._satvane.ObservationIter",
                                          "Lazy iterator yielding time-stamped observations at regular intervals."};
using PredictionIterClass = IteratorClass<PredictionIter, wrap_sample<StateVector<Teme>>, kPredictionTexts>;
using GroundTrackIterClass = IteratorClass<GroundTrackIter, wrap_sample<GeodeticPoint>, kGroundTrackTexts>;
using ObservationIterClass = IteratorClass<ObservationIter, wrap_sample<Observation>, kObservationTexts>;

// The walk of a series: `interval` then `step`, converted in that order.
struct Walk {
  Instant start;
  Instant end;
  Duration step;
};
std::optional<Walk> arg_walk(ModuleState& state, PyObject* interval, PyObject* step) {
  const auto bounds = arg_interval(state, interval, "interval");
  if (!bounds) return std::nullopt;
  const auto duration = arg_duration(state, step, "step");
  if (!duration) return std::nullopt;
  return Walk{bounds->start, bounds->end, *duration};
}

constexpr Param kWalkParams[] = {{"interval"}, {"step"}};
constexpr Signature kPredictionSignature{"Predictor.prediction_iter", kWalkParams, {}};
constexpr Signature kGroundTrackSignature{"Predictor.ground_track_iter", kWalkParams, {}};

PredictionIter prediction_walk(const Predictor& predictor, const Walk& walk) {
  return PredictionIter(predictor, walk.start, walk.end, walk.step);
}

// prediction_iter and ground_track_iter: the same walk, a different computation per step.
template <class IterClass, const Signature& Sig>
PyObject* walk_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(Sig, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto walk = arg_walk(state, parsed[0], parsed[1]);
  if (!walk) return nullptr;
  return IterClass::make(state, typename IterClass::CoreIter(prediction_walk(predictor_of(self), *walk)));
}

constexpr Param kObservationParams[] = {{"observer"}, {"interval"}, {"step"}};
constexpr Signature kObservationSignature{"Predictor.observation_iter", kObservationParams, {}};

PyObject* observation_iter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<3> parsed;
  if (!parsed.parse(kObservationSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto observer = arg_geodetic_point(state, parsed[0], "observer");
  if (!observer) return nullptr;
  const auto walk = arg_walk(state, parsed[1], parsed[2]);
  if (!walk) return nullptr;
  return ObservationIterClass::make(
      state, ObservationIter(predictor_of(self), *observer, walk->start, walk->end, walk->step));
}

}  // namespace

const ClassDef PredictionIter_class{&PredictionIterClass::type_spec, nullptr};
const ClassDef GroundTrackIter_class{&GroundTrackIterClass::type_spec, nullptr};
const ClassDef ObservationIter_class{&ObservationIterClass::type_spec, nullptr};

PyMethodDef prediction_iter_method() {
  return fastcall_method<walk_method<PredictionIterClass, kPredictionSignature>>(
      "prediction_iter",
      "prediction_iter($self, interval, step)\n--\n\n"
      "Iterate over state vectors in the TEME frame at regular intervals.\n\n"
      "`interval` must expose `.start` and `.end` datetime properties.\n"
      "Pass an `Interval`, `Transit`, or `Illumination` object.");
}

PyMethodDef ground_track_iter_method() {
  return fastcall_method<walk_method<GroundTrackIterClass, kGroundTrackSignature>>(
      "ground_track_iter",
      "ground_track_iter($self, interval, step)\n--\n\n"
      "Trace the satellite's ground track at regular intervals.\n\n"
      "`interval` must expose `.start` and `.end` datetime properties.\n"
      "Yields `(datetime, GeodeticPoint)` sub-satellite points.");
}

PyMethodDef observation_iter_method() {
  return fastcall_method<observation_iter>(
      "observation_iter",
      "observation_iter($self, observer, interval, step)\n--\n\n"
      "Iterate over observations from the given observer at regular intervals.\n\n"
      "`interval` must expose `.start` and `.end` datetime properties.\n"
      "Pass an `Interval`, `Transit`, or `Illumination` object.");
}

}  // namespace satvane::py
