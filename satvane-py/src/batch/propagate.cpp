// Vectorised propagation and look angles: many satellites at many instants, or one satellite
// from many observers at many instants, written straight into caller-owned arrays.
//
// The arrays come in through the buffer protocol (satvane.batch makes them with NumPy), so the
// build needs no NumPy headers and the module works with any exporter of C-contiguous memory.
// Every sample is the core's own Predictor::propagate (and for look angles the same frame
// steps as Predictor::observe_at, with each observer's ENU frame computed once, which gives
// identical bits), so the numbers equal the scalar methods' bit for bit.
//
// The numeric loops run without the interpreter lock, split over threads, in chunks between
// which the lock is taken back to let Ctrl-C through. A sample allocates nothing unless it
// fails (the core error carries its text).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch.hpp"
#include "convert.hpp"
#include "predictor.hpp"
#include "satvane/frames.hpp"
#include "vectors.hpp"

namespace satvane::py::batch {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kNoIndex = std::numeric_limits<std::size_t>::max();
// Samples per stretch without the interpreter lock: a few milliseconds of work.
constexpr std::size_t kSamplesPerChunk = std::size_t{1} << 15;

// The propagator goes on past an orbit's decay and returns positions inside the Earth; from
// the first such sample on, a satellite's states are failures, not positions.
constexpr const char* kDecayedText = "below the Earth's surface: the orbit has decayed";

// Inside the WGS84 ellipsoid. TEME and ECEF differ by a rotation about the polar axis, under
// which the ellipsoid is unchanged, so the TEME position answers this directly.
bool below_surface(const Vec3& r_m) {
  return r_m.x * r_m.x + r_m.y * r_m.y + r_m.z * r_m.z / kWgs84OneMinusE2 < kWgs84A2_m2;
}

// ---- Arrays --------------------------------------------------------------------------------

enum class Item { F64, I64, Bool };

bool format_is(const Py_buffer& view, Item item) {
  std::string_view format = view.format ? view.format : "B";
  if (!format.empty() && (format[0] == '@' || format[0] == '=' || format[0] == '<')) format.remove_prefix(1);
  switch (item) {
    case Item::F64:
      return view.itemsize == 8 && format == "d";
    case Item::I64:
      return view.itemsize == 8 && (format == "q" || format == "l");
    case Item::Bool:
      return view.itemsize == 1 && format == "?";
  }
  return false;
}

constexpr std::size_t kAnyCount = kNoIndex;

// A C-contiguous buffer of `count` items (or kAnyCount) of one kind, held until destruction.
class ArrayArg {
 public:
  ArrayArg() = default;
  ArrayArg(const ArrayArg&) = delete;
  ArrayArg& operator=(const ArrayArg&) = delete;
  ~ArrayArg() {
    if (held_) PyBuffer_Release(&view_);
  }

  bool get(PyObject* obj, const char* param, Item item, std::size_t count, bool writable) {
    const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(obj, &view_, flags) < 0) {
      note_parameter(param);
      return false;
    }
    held_ = true;
    static constexpr const char* kNames[] = {"float64", "int64", "bool"};
    const char* name = kNames[item == Item::F64 ? 0 : item == Item::I64 ? 1 : 2];
    if (!format_is(view_, item)) {
      PyErr_Format(PyExc_TypeError, "'%s' must be a %s array", param, name);
      return false;
    }
    if (count != kAnyCount && size() != count) {
      PyErr_Format(PyExc_ValueError, "'%s' must hold %zu items, not %zd", param, count, view_.len / view_.itemsize);
      return false;
    }
    return true;
  }
  std::size_t size() const { return static_cast<std::size_t>(view_.len / view_.itemsize); }
  template <class T>
  T* data() const {
    return static_cast<T*>(view_.buf);
  }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// Instants from nanoseconds since 1970-01-01 UTC (any int64 is within the Instant range).
std::vector<Instant> instants_of(const ArrayArg& times_ns) {
  std::vector<Instant> times(times_ns.size());
  const auto* ns = times_ns.data<std::int64_t>();
  for (std::size_t i = 0; i < times.size(); ++i) {
    const std::int64_t seconds = Duration::floor_div(ns[i], kNanosPerSecond);
    const auto nanos = static_cast<std::uint32_t>(Duration::floor_mod(ns[i], kNanosPerSecond));
    times[i] = *Instant::from_unix(seconds, nanos);
  }
  return times;
}

}  // namespace

bool get_predictors(ModuleState& state, PyObject* obj, const char* param, PredictorsArg& out) {
  out.owner = Ref(PySequence_Tuple(obj));
  if (!out.owner) {
    note_parameter(param);
    return false;
  }
  const Py_ssize_t count = PyTuple_GET_SIZE(out.owner.get());
  out.predictors.reserve(static_cast<std::size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* item = PyTuple_GET_ITEM(out.owner.get(), i);
    if (!arg_instance(item, state.type(ClassId::Predictor), param)) return false;
    out.predictors.push_back(&predictor_of(item));
  }
  return true;
}

namespace {

// ---- Failures ------------------------------------------------------------------------------

// Samples in time order, ties broken by index: which one is "earliest" does not depend on how
// the work was split.
bool before(Instant t, std::size_t index, Instant other_t, std::size_t other_index) {
  return t < other_t || (t == other_t && index < other_index);
}

// The earliest failing sample of one satellite.
struct Failure {
  std::size_t time_index = kNoIndex;
  Instant time;
  std::string text;

  bool empty() const { return time_index == kNoIndex; }
  void note(std::size_t index, Instant t, std::string_view what) {
    if (!empty() && !before(t, index, time, time_index)) return;
    time_index = index;
    time = t;
    text = what;
  }
  void merge(const Failure& other) {
    if (!other.empty()) note(other.time_index, other.time, other.text);
  }
};

// The earliest sample below the surface, if any.
struct Decay {
  std::size_t time_index = kNoIndex;
  Instant time;

  void note(std::size_t index, Instant t) {
    if (time_index != kNoIndex && !before(t, index, time, time_index)) return;
    time_index = index;
    time = t;
  }
  void merge(const Decay& other) {
    if (other.time_index != kNoIndex) note(other.time_index, other.time);
  }
  // From the decay on, every sample is a failure; the decay is the failure to report unless
  // an earlier one is known.
  template <class MarkFailed>
  void apply(const std::vector<Instant>& times, Failure& failure, MarkFailed mark_failed) const {
    if (time_index == kNoIndex) return;
    for (std::size_t i = 0; i < times.size(); ++i) {
      if (!(times[i] < time)) mark_failed(i);
    }
    failure.note(time_index, time, kDecayedText);
  }
};

// What one satellite's samples have shown so far.
struct Findings {
  Failure failure;
  Decay decay;
  bool empty() const { return failure.empty() && decay.time_index == kNoIndex; }
  void merge(const Findings& other) {
    failure.merge(other.failure);
    decay.merge(other.decay);
  }
};

// ---- Running the loops -----------------------------------------------------------------------

// Calls work(k, begin, end) for the k-th of [0, count) split into one block per thread, and
// returns the first exception thrown, if any: it runs without the interpreter lock, so nothing
// may leave it by unwinding. Falls back to the calling thread when no thread can start.
template <class Work>
std::exception_ptr run_split(std::size_t count, std::size_t threads, Work work) noexcept {
  try {
    threads = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(count, 1));
    std::vector<std::exception_ptr> errors(threads);
    auto block = [&](std::size_t k) {
      try {
        work(k, count * k / threads, count * (k + 1) / threads);
      } catch (...) {
        errors[k] = std::current_exception();
      }
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    std::size_t k = 1;
    try {
      for (; k < threads; ++k) pool.emplace_back(block, k);
    } catch (...) {
      for (; k < threads; ++k) block(k);  // no more threads to be had: do the rest here
    }
    block(0);
    for (std::thread& t : pool) t.join();
    for (const auto& e : errors) {
      if (e) return e;
    }
    return nullptr;
  } catch (...) {
    return std::current_exception();
  }
}

// Runs work(block, begin, end) over [0, count) in chunks of `per_chunk` items without the interpreter
// lock, checking for signals between chunks. False with a Python error set on failure.
template <class Work>
bool run_chunked(std::size_t count, std::size_t per_chunk, std::size_t threads, Work work) {
  per_chunk = std::max<std::size_t>(per_chunk, 1);
  for (std::size_t begin = 0; begin < count; begin += per_chunk) {
    const std::size_t end = std::min(count, begin + per_chunk);
    std::exception_ptr error;
    Py_BEGIN_ALLOW_THREADS
    error = run_split(end - begin, threads,
                      [&](std::size_t k, std::size_t b, std::size_t e) { work(k, begin + b, begin + e); });
    Py_END_ALLOW_THREADS
    if (error) std::rethrow_exception(error);  // Guard turns it into a Python exception
    if (PyErr_CheckSignals() < 0) return false;
  }
  return true;
}

}  // namespace

std::optional<std::size_t> arg_threads(PyObject* obj) {
  const auto threads = arg_u64(obj, "threads");
  if (!threads) return std::nullopt;
  if (*threads == 0) {
    PyErr_SetString(PyExc_ValueError, "threads must be at least 1");
    note_parameter("threads");
    return std::nullopt;
  }
  return static_cast<std::size_t>(std::min<std::uint64_t>(*threads, 256));
}

namespace {

void put(double* out, const Vec3& v) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}
void put_nan(double* out) { out[0] = out[1] = out[2] = kNaN; }

// ---- propagate -------------------------------------------------------------------------------

struct PropagateArrays {
  double* position_m;
  double* velocity_m_s;
  bool* failed;
};

// Row `s` of the arrays: flat sample index s * time_count + i.
struct Row {
  double* position;
  double* velocity;
  bool* failed;
  void mark_failed(std::size_t i) const {
    put_nan(position + 3 * i);
    put_nan(velocity + 3 * i);
    failed[i] = true;
  }
};
Row row_of(const PropagateArrays& out, std::size_t s, std::size_t time_count) {
  return {out.position_m + s * time_count * 3, out.velocity_m_s + s * time_count * 3, out.failed + s * time_count};
}

// One satellite over the instants [begin, end).
void propagate_span(const Predictor& predictor, const std::vector<Instant>& times, bool ecef, const Row& row,
                    std::size_t begin, std::size_t end, Findings& found) {
  for (std::size_t i = begin; i < end; ++i) {
    const Instant t = times[i];
    const auto teme = predictor.propagate(t);
    if (!teme) {
      row.mark_failed(i);
      found.failure.note(i, t, teme.error().display());
      continue;
    }
    if (below_surface(teme->position_m)) found.decay.note(i, t);
    if (ecef) {
      const StateVector<Ecef> state = to_ecef(*teme, t);
      put(row.position + 3 * i, state.position_m);
      put(row.velocity + 3 * i, state.velocity_m_s);
    } else {
      put(row.position + 3 * i, teme->position_m);
      put(row.velocity + 3 * i, teme->velocity_m_s);
    }
    row.failed[i] = false;
  }
}

constexpr Param kPropagateParams[] = {{"predictors"}, {"times_ns"},  {"ecef"},   {"position_m"},
                                      {"velocity_m_s"}, {"failed"}, {"threads"}};
constexpr Signature kPropagateSignature{"propagate", kPropagateParams, {}};

}  // namespace

PyObject* propagate_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<std::size(kPropagateParams)> a;
  if (!a.parse(kPropagateSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = classes_of(module);
  PredictorsArg satellites;
  if (!get_predictors(state, a[0], "predictors", satellites)) return nullptr;
  ArrayArg times_ns;
  if (!times_ns.get(a[1], "times_ns", Item::I64, kAnyCount, false)) return nullptr;
  const std::size_t time_count = times_ns.size();
  const auto ecef = arg_bool(a[2], "ecef");
  if (!ecef) return nullptr;
  const std::size_t sat_count = satellites.predictors.size();
  const std::size_t samples = sat_count * time_count;
  ArrayArg position, velocity, failed;
  if (!position.get(a[3], "position_m", Item::F64, samples * 3, true) ||
      !velocity.get(a[4], "velocity_m_s", Item::F64, samples * 3, true) ||
      !failed.get(a[5], "failed", Item::Bool, samples, true))
    return nullptr;
  const auto threads = arg_threads(a[6]);
  if (!threads) return nullptr;

  const std::vector<Instant> times = instants_of(times_ns);
  const PropagateArrays out{position.data<double>(), velocity.data<double>(), failed.data<bool>()};
  // The samples in row order, split into chunks and each chunk into blocks regardless of rows
  // (a satellite may be spread over blocks): each block keeps its findings for the row it is
  // in and adds them to the satellite's when it leaves that row.
  std::vector<Findings> findings(sat_count);
  std::mutex findings_mutex;
  const bool done = run_chunked(samples, kSamplesPerChunk, *threads, [&](std::size_t, std::size_t begin, std::size_t end) {
    while (begin < end) {
      const std::size_t s = begin / time_count;
      const std::size_t i = begin % time_count;
      const std::size_t row_end = std::min(time_count, i + (end - begin));
      Findings found;
      propagate_span(*satellites.predictors[s], times, *ecef, row_of(out, s, time_count), i, row_end, found);
      if (!found.empty()) {
        const std::lock_guard lock(findings_mutex);
        findings[s].merge(found);
      }
      begin += row_end - i;
    }
  });
  if (!done) return nullptr;
  for (std::size_t s = 0; s < sat_count; ++s) {
    const Row row = row_of(out, s, time_count);
    findings[s].decay.apply(times, findings[s].failure, [&](std::size_t i) { row.mark_failed(i); });
  }

  Ref errors(PyList_New(0));
  if (!errors) return nullptr;
  for (std::size_t s = 0; s < sat_count; ++s) {
    const Failure& f = findings[s].failure;
    if (f.empty()) continue;
    Ref entry(Py_BuildValue("(nnN)", static_cast<Py_ssize_t>(s), static_cast<Py_ssize_t>(f.time_index),
                            str_from_utf8_lossy(f.text)));
    if (!entry || PyList_Append(errors.get(), entry.get()) < 0) return nullptr;
  }
  return errors.release();
}

namespace {

// ---- observe ---------------------------------------------------------------------------------

struct ObserveArrays {
  double* azimuth_deg;
  double* elevation_deg;
  double* range_m;
  double* range_rate_m_s;
  bool* failed;  // per instant: a failed propagation fails every observer
};

// Column `i` (one instant, every observer) of the arrays, each `time_count` long per observer.
void mark_column_failed(const ObserveArrays& out, std::size_t observers, std::size_t time_count, std::size_t i) {
  for (std::size_t o = 0; o < observers; ++o) {
    const std::size_t k = o * time_count + i;
    out.azimuth_deg[k] = out.elevation_deg[k] = out.range_m[k] = out.range_rate_m_s[k] = kNaN;
  }
  out.failed[i] = true;
}

// The part of every observer's row for the instants [begin, end): one propagation per instant.
void observe_columns(const Predictor& predictor, const std::vector<Instant>& times, const std::vector<EnuFrame>& frames,
                     std::size_t begin, std::size_t end, const ObserveArrays& out, Findings& found) {
  const std::size_t time_count = times.size();
  for (std::size_t i = begin; i < end; ++i) {
    const Instant t = times[i];
    const auto teme = predictor.propagate(t);
    if (!teme) {
      mark_column_failed(out, frames.size(), time_count, i);
      found.failure.note(i, t, teme.error().display());
      continue;
    }
    if (below_surface(teme->position_m)) found.decay.note(i, t);
    const StateVector<Ecef> ecef = to_ecef(*teme, t);
    for (std::size_t o = 0; o < frames.size(); ++o) {
      const Observation seen = to_observation(to_enu(ecef, frames[o]));
      const std::size_t k = o * time_count + i;
      // Degrees exactly as the Observation getters compute them.
      out.azimuth_deg[k] = seen.azimuth_rad * kRadToDeg;
      out.elevation_deg[k] = seen.elevation_rad * kRadToDeg;
      out.range_m[k] = seen.range_m;
      out.range_rate_m_s[k] = seen.range_rate_m_s;
    }
    out.failed[i] = false;
  }
}

bool get_observers(ModuleState& state, PyObject* obj, std::vector<EnuFrame>& frames) {
  Ref items(PySequence_Tuple(obj));
  if (!items) {
    note_parameter("observers");
    return false;
  }
  const Py_ssize_t count = PyTuple_GET_SIZE(items.get());
  frames.reserve(static_cast<std::size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    const auto point = arg_geodetic_point(state, PyTuple_GET_ITEM(items.get(), i), "observers");
    if (!point) return false;
    frames.push_back(EnuFrame::of(*point));
  }
  return true;
}

constexpr Param kObserveParams[] = {{"predictor"}, {"observers"},      {"times_ns"}, {"azimuth_deg"}, {"elevation_deg"},
                                    {"range_m"},   {"range_rate_m_s"}, {"failed"},   {"threads"}};
constexpr Signature kObserveSignature{"observe", kObserveParams, {}};

}  // namespace

PyObject* observe_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<std::size(kObserveParams)> a;
  if (!a.parse(kObserveSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = classes_of(module);
  if (!arg_instance(a[0], state.type(ClassId::Predictor), "predictor")) return nullptr;
  const Ref predictor_ref = Ref::borrow(a[0]);  // immutable, and kept alive by this reference
  const Predictor& predictor = predictor_of(a[0]);
  std::vector<EnuFrame> frames;
  if (!get_observers(state, a[1], frames)) return nullptr;
  ArrayArg times_ns;
  if (!times_ns.get(a[2], "times_ns", Item::I64, kAnyCount, false)) return nullptr;
  const std::size_t time_count = times_ns.size();
  const std::size_t samples = frames.size() * time_count;
  ArrayArg azimuth, elevation, range, range_rate, failed;
  if (!azimuth.get(a[3], "azimuth_deg", Item::F64, samples, true) ||
      !elevation.get(a[4], "elevation_deg", Item::F64, samples, true) ||
      !range.get(a[5], "range_m", Item::F64, samples, true) ||
      !range_rate.get(a[6], "range_rate_m_s", Item::F64, samples, true) ||
      !failed.get(a[7], "failed", Item::Bool, time_count, true))
    return nullptr;
  const auto threads = arg_threads(a[8]);
  if (!threads) return nullptr;

  const std::vector<Instant> times = instants_of(times_ns);
  const ObserveArrays out{azimuth.data<double>(), elevation.data<double>(), range.data<double>(),
                          range_rate.data<double>(), failed.data<bool>()};
  // One record per thread block (blocks of a chunk run at once), merged at the end.
  std::vector<Findings> block_findings(*threads);
  const std::size_t columns_per_chunk = kSamplesPerChunk / std::max<std::size_t>(frames.size(), 1);
  const bool done = run_chunked(time_count, columns_per_chunk, *threads, [&](std::size_t k, std::size_t begin, std::size_t end) {
    observe_columns(predictor, times, frames, begin, end, out, block_findings[k]);
  });
  if (!done) return nullptr;
  Findings found;
  for (const Findings& f : block_findings) found.merge(f);
  Failure& failure = found.failure;
  found.decay.apply(times, failure, [&](std::size_t i) { mark_column_failed(out, frames.size(), time_count, i); });

  if (failure.empty()) return PyList_New(0);
  return Py_BuildValue("[(nN)]", static_cast<Py_ssize_t>(failure.time_index), str_from_utf8_lossy(failure.text));
}

}  // namespace satvane::py::batch
