// Argument converters shared by every method, and conversions of results to Python objects.
//
// Every `arg_*` converter returns an empty optional (or false) with a Python exception set when
// the object does not convert, after adding the note "while processing '<param>'". The
// `*_from_py` forms do the same without the note.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pyutil.hpp"
#include "satvane/time.hpp"
#include "satvane/vectors.hpp"
#include "sgp4/elements.hpp"

namespace satvane::py {

// ---------------------------------------------------------------------------------------------
// Instants and durations.

// A `datetime` whose tzinfo equals `timezone.utc`: TypeError for a non-datetime or a naive
// one, ValueError for any other zone. Microseconds become nanoseconds; `fold` is ignored.
std::optional<Instant> instant_from_py(ModuleState& state, PyObject* obj);
std::optional<Instant> arg_instant(ModuleState& state, PyObject* obj, const char* param);

// A `datetime` in `timezone.utc`; sub-microsecond parts are dropped (truncated).
PyObject* instant_to_py(ModuleState& state, Instant instant);

// A `timedelta`, exactly, at microsecond resolution.
std::optional<Duration> duration_from_py(ModuleState& state, PyObject* obj);
std::optional<Duration> arg_duration(ModuleState& state, PyObject* obj, const char* param);

// A `timedelta`; sub-microsecond parts are truncated toward zero.
PyObject* duration_to_py(ModuleState& state, Duration duration);

// The duration truncated toward zero to whole milliseconds, in seconds: the float forms of a
// duration (the deprecated `duration_seconds`, reprs, `tle_age_seconds`).
inline double whole_millis_seconds(Duration duration) {
  return static_cast<double>(duration.whole_millis_toward_zero()) / 1000.0;
}

// ---------------------------------------------------------------------------------------------
// Intervals and positions.

// Any object with `.start` and `.end` datetimes (read in that order, no ordering check).
struct IntervalArg {
  Instant start;
  Instant end;
};
std::optional<IntervalArg> arg_interval(ModuleState& state, PyObject* obj, const char* param);

// A registered position class (LatLon, GeodeticPoint) or a tuple of exactly two floats
// (latitude_deg, longitude_deg); otherwise TypeError "expected a LatLon, a GeodeticPoint, or a
// (latitude_deg, longitude_deg) tuple". No range check.
std::optional<LatLon> latlon_from_py(ModuleState& state, PyObject* obj);
std::optional<LatLon> arg_latlon(ModuleState& state, PyObject* obj, const char* param);

// ---------------------------------------------------------------------------------------------
// Scalars.

std::optional<double> arg_f64(PyObject* obj, const char* param);         // float protocol
std::optional<std::uint64_t> arg_u64(PyObject* obj, const char* param);  // int (__index__)
std::optional<std::uint8_t> arg_u8(PyObject* obj, const char* param);    // int 0..255
std::optional<bool> arg_bool(PyObject* obj, const char* param);          // a bool, nothing else
// The UTF-8 text of a str; the view lives as long as `obj`.
std::optional<std::string_view> arg_str(PyObject* obj, const char* param);
// `obj` must be an instance of `type` (exactly: every class of the module is final).
bool arg_instance(PyObject* obj, PyTypeObject* type, const char* param);

// ---------------------------------------------------------------------------------------------
// Results. Overloads used by `readonly_field`.

inline PyObject* to_py(ModuleState&, double value) { return PyFloat_FromDouble(value); }
inline PyObject* to_py(ModuleState&, std::uint64_t value) {
  return PyLong_FromUnsignedLongLong(value);
}
inline PyObject* to_py(ModuleState&, std::uint8_t value) { return PyLong_FromUnsignedLong(value); }
inline PyObject* to_py(ModuleState&, bool value) { return PyBool_FromLong(value); }
inline PyObject* to_py(ModuleState&, const std::string& text) { return str_from_utf8_lossy(text); }
inline PyObject* to_py(ModuleState& state, const std::optional<std::string>& text) {
  return text ? to_py(state, *text) : Py_NewRef(Py_None);
}
inline PyObject* to_py(ModuleState& state, Instant instant) {
  return instant_to_py(state, instant);
}
inline PyObject* to_py(ModuleState& state, sgp4::UtcInstant instant) {
  return instant_to_py(state, Instant(instant));
}
inline PyObject* to_py(ModuleState& state, Duration duration) {
  return duration_to_py(state, duration);
}

}  // namespace satvane::py
