#include "convert.hpp"

#include <climits>

namespace satvane::py {

namespace {

template <class T>
std::optional<T> noted(std::optional<T> value, const char* param) {
  if (!value) note_parameter(param);
  return value;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Instants and durations.

std::optional<Instant> instant_from_py(ModuleState& state, PyObject* obj) {
  if (!PyObject_TypeCheck(obj, state.datetime_api->DateTimeType)) {
    raise_not_instance(obj, "datetime");
    return std::nullopt;
  }
  PyObject* tzinfo = PyDateTime_DATE_GET_TZINFO(obj);
  if (tzinfo == Py_None) {
    PyErr_SetString(PyExc_TypeError, "expected a datetime with non-None tzinfo");
    return std::nullopt;
  }
  if (tzinfo != state.utc) {
    const int equal = PyObject_RichCompareBool(tzinfo, state.utc, Py_EQ);
    if (equal < 0) return std::nullopt;
    if (equal == 0) {
      PyErr_SetString(PyExc_ValueError, "expected datetime.timezone.utc");
      return std::nullopt;
    }
  }
  const CivilDateTime civil{
      PyDateTime_GET_YEAR(obj),
      static_cast<unsigned>(PyDateTime_GET_MONTH(obj)),
      static_cast<unsigned>(PyDateTime_GET_DAY(obj)),
      static_cast<unsigned>(PyDateTime_DATE_GET_HOUR(obj)),
      static_cast<unsigned>(PyDateTime_DATE_GET_MINUTE(obj)),
      static_cast<unsigned>(PyDateTime_DATE_GET_SECOND(obj)),
      static_cast<std::uint32_t>(PyDateTime_DATE_GET_MICROSECOND(obj)) * 1000U,
  };
  auto instant = Instant::from_civil(civil);
  if (!instant) PyErr_SetString(PyExc_ValueError, "datetime out of the supported range");
  return instant;
}

std::optional<Instant> arg_instant(ModuleState& state, PyObject* obj, const char* param) {
  return noted(instant_from_py(state, obj), param);
}

PyObject* instant_to_py(ModuleState& state, Instant instant) {
  const CivilDateTime civil = instant.to_civil();
  if (civil.year < 1 || civil.year > 9999) {
    return PyErr_Format(PyExc_ValueError, "year %lld is out of range",
                        static_cast<long long>(civil.year));
  }
  return state.datetime_api->DateTime_FromDateAndTime(
      static_cast<int>(civil.year), static_cast<int>(civil.month), static_cast<int>(civil.day),
      static_cast<int>(civil.hour), static_cast<int>(civil.minute), static_cast<int>(civil.second),
      static_cast<int>(civil.nanosecond / 1000), state.utc, state.datetime_api->DateTimeType);
}

std::optional<Duration> duration_from_py(ModuleState& state, PyObject* obj) {
  if (!PyObject_TypeCheck(obj, state.datetime_api->DeltaType)) {
    raise_not_instance(obj, "timedelta");
    return std::nullopt;
  }
  // |days| <= 999999999, so the seconds fit in 64 bits with room to spare.
  const std::int64_t seconds = std::int64_t(PyDateTime_DELTA_GET_DAYS(obj)) * kSecondsPerDay +
                               PyDateTime_DELTA_GET_SECONDS(obj);
  return Duration::from_parts(seconds, std::int64_t(PyDateTime_DELTA_GET_MICROSECONDS(obj)) * 1000);
}

std::optional<Duration> arg_duration(ModuleState& state, PyObject* obj, const char* param) {
  return noted(duration_from_py(state, obj), param);
}

PyObject* duration_to_py(ModuleState& state, Duration duration) {
  // Truncate toward zero: a negative span with a sub-microsecond part moves up one microsecond.
  std::int64_t seconds = duration.whole_seconds();
  std::int64_t micros = duration.subsec_nanos() / 1000;
  if (seconds < 0 && duration.subsec_nanos() % 1000 != 0) ++micros;
  const std::int64_t days = Duration::floor_div(seconds, kSecondsPerDay);
  seconds = Duration::floor_mod(seconds, kSecondsPerDay);
  if (days < -999'999'999 || days > 999'999'999) {
    return PyErr_Format(PyExc_OverflowError, "days=%lld; must have magnitude <= 999999999",
                        static_cast<long long>(days));
  }
  return state.datetime_api->Delta_FromDelta(static_cast<int>(days), static_cast<int>(seconds),
                                             static_cast<int>(micros), 1,
                                             state.datetime_api->DeltaType);
}


// ---------------------------------------------------------------------------------------------
// Intervals and positions.

std::optional<IntervalArg> arg_interval(ModuleState& state, PyObject* obj, const char* param) {
  IntervalArg interval;
  PyObject* names[] = {state.str_start, state.str_end};
  Instant* targets[] = {&interval.start, &interval.end};
  for (int i = 0; i < 2; ++i) {
    Ref attribute(PyObject_GetAttr(obj, names[i]));
    std::optional<Instant> instant;
    if (attribute) instant = instant_from_py(state, attribute.get());
    if (!instant) {
      note_parameter(param);
      return std::nullopt;
    }
    *targets[i] = *instant;
  }
  return interval;
}

std::optional<LatLon> latlon_from_py(ModuleState& state, PyObject* obj) {
  for (const LatLonSource& source : state.latlon_sources) {
    if (source.type != nullptr && Py_TYPE(obj) == source.type) return source.read(obj);
  }
  if (PyTuple_Check(obj) && PyTuple_GET_SIZE(obj) == 2) {
    const double latitude_deg = PyFloat_AsDouble(PyTuple_GET_ITEM(obj, 0));
    const double longitude_deg = latitude_deg == -1.0 && PyErr_Occurred()
                                     ? -1.0
                                     : PyFloat_AsDouble(PyTuple_GET_ITEM(obj, 1));
    if (!PyErr_Occurred()) return LatLon{latitude_deg, longitude_deg};
    // An item that is no float (TypeError, ValueError, or an int too large: OverflowError) is
    // reported as the wrong form; anything else an item's __float__ raised (KeyboardInterrupt,
    // MemoryError) goes on unchanged.
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError) &&
        !PyErr_ExceptionMatches(PyExc_OverflowError))
      return std::nullopt;
    PyErr_Clear();
  }
  for (const LatLonSource& source : state.latlon_sources) {
    if (source.type != nullptr && from_another_module_instance(obj, source.type)) {
      raise_from_another_module_instance(obj);
      return std::nullopt;
    }
  }
  PyErr_SetString(PyExc_TypeError,
                  "expected a LatLon, a GeodeticPoint, or a (latitude_deg, longitude_deg) tuple");
  return std::nullopt;
}

std::optional<LatLon> arg_latlon(ModuleState& state, PyObject* obj, const char* param) {
  return noted(latlon_from_py(state, obj), param);
}

int register_latlon_source(ModuleState& state, PyTypeObject* type, LatLonReader read) {
  for (LatLonSource& source : state.latlon_sources) {
    if (source.type == nullptr) {
      source = {type, read};
      return 0;
    }
  }
  PyErr_SetString(PyExc_RuntimeError, "too many position classes registered for LatLonArg");
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Scalars.

std::optional<double> arg_f64(PyObject* obj, const char* param) {
  if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
  const double value = PyFloat_AsDouble(obj);
  if (value == -1.0 && PyErr_Occurred()) {
    note_parameter(param);
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint64_t> arg_u64(PyObject* obj, const char* param) {
  Ref number(PyNumber_Index(obj));
  if (number) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(number.get());
    if (!(value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) return value;
  }
  note_parameter(param);
  return std::nullopt;
}

std::optional<std::uint8_t> arg_u8(PyObject* obj, const char* param) {
  const auto value = arg_u64(obj, param);
  if (!value) return std::nullopt;
  if (*value > 0xFF) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    note_parameter(param);
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(*value);
}

std::optional<bool> arg_bool(PyObject* obj, const char* param) {
  if (PyBool_Check(obj)) return obj == Py_True;
  raise_not_instance(obj, "bool");
  note_parameter(param);
  return std::nullopt;
}

std::optional<std::string_view> arg_str(PyObject* obj, const char* param) {
  if (!PyUnicode_Check(obj)) {
    raise_not_instance(obj, "str");
    note_parameter(param);
    return std::nullopt;
  }
  Py_ssize_t length = 0;
  const char* text = PyUnicode_AsUTF8AndSize(obj, &length);
  if (text == nullptr) {
    note_parameter(param);
    return std::nullopt;
  }
  return std::string_view(text, static_cast<std::size_t>(length));
}

bool arg_instance(PyObject* obj, PyTypeObject* type, const char* param) {
  if (Py_TYPE(obj) == type) return true;
  if (from_another_module_instance(obj, type)) {
    raise_from_another_module_instance(obj);
  } else {
    raise_not_instance(obj, short_type_name(type));
  }
  note_parameter(param);
  return false;
}

}  // namespace satvane::py
