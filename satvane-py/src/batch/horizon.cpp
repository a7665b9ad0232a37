// Passes above a horizon mask (see satvane.horizon), found by the core's search in one call.
#include <vector>

#include "batch/batch.hpp"
#include "convert.hpp"
#include "errors.hpp"
#include "predictor.hpp"
#include "satvane/horizon.hpp"
#include "types/iterator.hpp"
#include "types/window.hpp"
#include "vectors.hpp"

namespace satvane::py::batch {

namespace {

constexpr Param kMaskParams[] = {{"predictor"}, {"observer"}, {"interval"}, {"points"}};
constexpr Param kMaskOptions[] = {{"min_step", false},
                                  {"max_step", false},
                                  {"walk_step", false},
                                  {"max_transit_duration", false},
                                  {"skip_leading_partial", false},
                                  {"clamp_to_interval", false}};
constexpr Signature kMaskSignature{"mask_passes", kMaskParams, kMaskOptions};

// The (azimuth_deg, elevation_deg) pairs of a sequence, or nothing with an error set.
std::optional<HorizonMask> arg_mask(PyObject* obj) {
  const Ref sequence(PySequence_Fast(obj, "points: expected a sequence of (azimuth_deg, elevation_deg) pairs"));
  if (!sequence) return std::nullopt;
  std::vector<MaskPoint> points;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
    const Ref pair(PySequence_Fast(PySequence_Fast_GET_ITEM(sequence.get(), i), "points: expected pairs"));
    if (!pair) return std::nullopt;
    const auto number = [&](Py_ssize_t k) {
      return PySequence_Fast_GET_SIZE(pair.get()) == 2 ? arg_f64(PySequence_Fast_GET_ITEM(pair.get(), k), "points")
                                                        : std::nullopt;
    };
    const auto azimuth_deg = number(0);
    const auto elevation_deg = azimuth_deg ? number(1) : std::nullopt;
    if (!elevation_deg) {
      if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "horizon mask point %zd: expected two numbers", i);
      return std::nullopt;
    }
    points.push_back(MaskPoint{*azimuth_deg, *elevation_deg});
  }
  auto mask = HorizonMask::from_points(points);
  if (!mask) {
    PyErr_SetString(PyExc_ValueError, mask.error().c_str());
    return std::nullopt;
  }
  return std::move(*mask);
}

}  // namespace

PyObject* mask_passes(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<std::size(kMaskParams) + std::size(kMaskOptions)> a;
  if (!a.parse(kMaskSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = classes_of(module);
  if (!arg_instance(a[0], state.type(ClassId::Predictor), "predictor")) return nullptr;
  const auto observer = arg_geodetic_point(state, a[1], "observer");
  if (!observer) return nullptr;
  const auto interval = arg_interval(state, a[2], "interval");
  if (!interval) return nullptr;
  const auto mask = arg_mask(a[3]);
  if (!mask) return nullptr;
  TransitIterOpts opts;
  if (!overlay_options(state, kMaskSignature, a.values.data() + std::size(kMaskParams), opts.min_step, opts.max_step,
                       opts.walk_step, opts.max_transit_duration, opts.skip_leading_partial, opts.clamp_to_interval))
    return nullptr;

  Ref found(PyList_New(0));
  if (!found) return nullptr;
  auto passes = mask_passes_with_opts(predictor_of(a[0]), *observer, *mask, {interval->start, interval->end}, opts);
  while (auto item = passes.next()) {
    if (!*item) return raise(item->error());
    const Ref pass(make_interval(state, (*item)->aos, (*item)->los));
    if (!pass || PyList_Append(found.get(), pass.get()) < 0 || PyErr_CheckSignals() < 0) return nullptr;
  }
  return found.release();
}

}  // namespace satvane::py::batch
