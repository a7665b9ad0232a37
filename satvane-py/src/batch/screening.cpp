// The batch pass search (satvane.batch.transits): the core's screening run on worker threads
// while this thread, holding the interpreter lock only between waits, reports progress and lets
// Ctrl-C through. The table comes back as one bytearray per column, which satvane.batch views
// as NumPy arrays without copying (the build needs no NumPy headers).
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "area.hpp"
#include "batch/batch.hpp"
#include "convert.hpp"
#include "satvane/screening.hpp"
#include "types/iterator.hpp"

namespace satvane::py::batch {

namespace {

// How often the waiting thread looks for Ctrl-C and reports progress.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
// Instants as datetime64[ns] can hold them: 1678-2262.
constexpr std::int64_t kLimit_s = 9'223'372'036;

constexpr Param kParams[] = {{"predictors"}, {"observers"}, {"interval"}, {"min_elevation_deg"}, {"threads"}, {"progress"}};
constexpr Param kOptions[] = {{"min_step", false},
                              {"max_step", false},
                              {"walk_step", false},
                              {"max_transit_duration", false},
                              {"skip_leading_partial", false},
                              {"clamp_to_interval", false}};
constexpr Signature kSignature{"transits", kParams, kOptions};

PyObject* value_error(const char* param, const char* text) {
  PyErr_SetString(PyExc_ValueError, text);
  note_parameter(param);
  return nullptr;
}

bool get_observers(ModuleState& state, PyObject* obj, std::vector<GeodeticPoint>& out) {
  Ref items(PySequence_Tuple(obj));
  if (!items) {
    note_parameter("observers");
    return false;
  }
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
    const auto point = arg_geodetic_point(state, PyTuple_GET_ITEM(items.get(), i), "observers");
    if (!point) return false;
    out.push_back(*point);
  }
  return true;
}

std::int64_t ns_of(Instant t) { return t.unix_seconds() * 1'000'000'000 + t.nanosecond(); }

// A column of `count` values of type T, filled by value(i).
template <class T, class Value>
PyObject* column(std::size_t count, Value value) {
  PyObject* bytes = PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(count * sizeof(T)));
  if (bytes == nullptr) return nullptr;
  char* data = PyByteArray_AS_STRING(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    const T v = value(i);
    std::memcpy(data + i * sizeof(T), &v, sizeof(T));
  }
  return bytes;
}

PyObject* to_py(const ScreeningResult& result) {
  const auto& p = result.passes;
  const std::size_t n = p.size();
  auto index = [](std::size_t i) { return static_cast<std::int64_t>(i); };
  PyObject* items[] = {
      column<std::int64_t>(n, [&](std::size_t i) { return index(p[i].satellite); }),
      column<std::int64_t>(n, [&](std::size_t i) { return index(p[i].observer); }),
      column<std::int64_t>(n, [&](std::size_t i) { return ns_of(p[i].aos); }),
      column<std::int64_t>(n, [&](std::size_t i) { return ns_of(p[i].peak); }),
      column<std::int64_t>(n, [&](std::size_t i) { return ns_of(p[i].los); }),
      column<double>(n, [&](std::size_t i) { return p[i].peak_elevation_rad * kRadToDeg; }),
      column<double>(n, [&](std::size_t i) { return p[i].aos_azimuth_rad * kRadToDeg; }),
      column<double>(n, [&](std::size_t i) { return p[i].peak_azimuth_rad * kRadToDeg; }),
      column<double>(n, [&](std::size_t i) { return p[i].los_azimuth_rad * kRadToDeg; }),
      column<double>(n, [&](std::size_t i) { return p[i].peak_range_m; }),
      column<bool>(n, [&](std::size_t i) { return p[i].sunlit_at_peak; }),
      column<bool>(n, [&](std::size_t i) { return p[i].cut; }),
  };
  const auto count = static_cast<Py_ssize_t>(std::size(items));
  Ref columns(PyTuple_New(count));
  bool ok = bool(columns);
  for (Py_ssize_t i = 0; i < count; ++i) {
    ok = ok && items[i] != nullptr;
    if (columns && items[i]) {
      PyTuple_SET_ITEM(columns.get(), i, items[i]);
    } else if (columns) {
      PyTuple_SET_ITEM(columns.get(), i, Py_NewRef(Py_None));  // a tuple released with empty slots would crash
    } else {
      Py_XDECREF(items[i]);
    }
  }
  if (!ok) return nullptr;

  Ref errors(PyList_New(0));
  if (!errors) return nullptr;
  for (const ScreeningError& e : result.errors) {
    Ref observer(e.observer ? PyLong_FromSize_t(*e.observer) : Py_NewRef(Py_None));
    if (!observer) return nullptr;
    Ref entry(Py_BuildValue("(nOLN)", static_cast<Py_ssize_t>(e.satellite), observer.get(),
                            static_cast<long long>(ns_of(e.time)), str_from_utf8_lossy(e.text)));
    if (!entry || PyList_Append(errors.get(), entry.get()) < 0) return nullptr;
  }
  return PyTuple_Pack(2, columns.get(), errors.get());
}

// Runs the job to its end, calling progress(done, total) between waits. False with a Python
// error set when interrupted (Ctrl-C, or an exception from progress); the job is then stopped.
bool run(std::unique_ptr<ScreeningJob>& job, std::size_t total, PyObject* progress) {
  for (;;) {
    bool finished = false;
    Py_BEGIN_ALLOW_THREADS
    finished = job->wait_for(kPollInterval);
    Py_END_ALLOW_THREADS
    bool ok = PyErr_CheckSignals() == 0;
    if (ok && progress != Py_None) {
      Ref reply(PyObject_CallFunction(progress, "nn", static_cast<Py_ssize_t>(job->satellites_done()),
                                      static_cast<Py_ssize_t>(total)));
      ok = bool(reply);
    }
    if (!ok) {
      job->cancel();
      Py_BEGIN_ALLOW_THREADS
      job.reset();  // joins the workers, each within one satellite of the cancellation
      Py_END_ALLOW_THREADS
      return false;
    }
    if (finished) return true;
  }
}

}  // namespace

PyObject* screen_transits(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<std::size(kParams) + std::size(kOptions)> a;
  if (!a.parse(kSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = classes_of(module);
  PredictorsArg satellites;
  if (!get_predictors(state, a[0], "predictors", satellites)) return nullptr;
  if (satellites.predictors.empty()) return value_error("predictors", "predictors must not be empty");
  std::vector<GeodeticPoint> observers;
  if (!get_observers(state, a[1], observers)) return nullptr;
  if (observers.empty()) return value_error("observers", "observers must not be empty");
  const auto interval = arg_interval(state, a[2], "interval");
  if (!interval) return nullptr;
  if (interval->end < interval->start) return value_error("interval", "interval end must not be before its start");
  if (interval->end == interval->start) return value_error("interval", "interval must not be empty");
  if (std::abs(interval->start.unix_seconds()) >= kLimit_s || std::abs(interval->end.unix_seconds()) >= kLimit_s)
    return value_error("interval", "interval must lie within the years 1678 to 2261 (datetime64[ns])");
  const auto min_elevation_deg = arg_f64(a[3], "min_elevation_deg");
  if (!min_elevation_deg) return nullptr;
  if (!(std::abs(*min_elevation_deg) <= 90.0))
    return value_error("min_elevation_deg", "min_elevation_deg must be a number of degrees from -90 to 90");
  const auto threads = arg_threads(a[4]);
  if (!threads) return nullptr;
  PyObject* progress = a[5];
  if (progress != Py_None && !PyCallable_Check(progress)) {
    PyErr_SetString(PyExc_TypeError, "progress must be callable or None");
    return nullptr;
  }
  TransitIterOpts opts;
  if (!overlay_options(state, kSignature, a.values.data() + std::size(kParams), opts.min_step, opts.max_step,
                       opts.walk_step, opts.max_transit_duration, opts.skip_leading_partial, opts.clamp_to_interval))
    return nullptr;

  const ScreeningRequest request{satellites.predictors, observers, {interval->start, interval->end},
                                 *min_elevation_deg, opts};
  std::unique_ptr<ScreeningJob> job;
  Py_BEGIN_ALLOW_THREADS
  job = std::make_unique<ScreeningJob>(request, *threads);
  Py_END_ALLOW_THREADS
  if (!run(job, satellites.predictors.size(), progress)) return nullptr;
  return to_py(job->take());
}

}  // namespace satvane::py::batch
