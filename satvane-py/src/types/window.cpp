#include "types/window.hpp"

#include <algorithm>

namespace satvane::py {

Instant mid_point(Instant start, Instant end) {
  const Duration span = end - start;
  const std::int64_t seconds = span.whole_seconds();  // floor
  const std::int64_t nanos = span.subsec_nanos();
  // Halve seconds·1e9 + nanos without 128-bit arithmetic: floor(seconds / 2) whole seconds,
  // plus half of what remains. The total is odd exactly when `nanos` is; a negative odd total
  // is then one nanosecond short of truncation toward zero.
  const std::int64_t remainder_nanos = Duration::floor_mod(seconds, 2) * kNanosPerSecond + nanos;
  const std::int64_t toward_zero = span.is_negative() && nanos % 2 != 0 ? 1 : 0;
  const Duration half = Duration::from_parts(Duration::floor_div(seconds, 2), remainder_nanos / 2 + toward_zero);
  // Lies between start and end, so it is always representable.
  return start.checked_add(half).value_or(start);
}

std::optional<Span> overlap(const Span& a, const Span& b) {
  const Instant start = std::max(a.start, b.start);
  const Instant end = std::min(a.end, b.end);
  if (start < end) return Span{start, end};
  return std::nullopt;
}

void hash_instant(SipHasher13& hasher, Instant t) {
  hasher.write_u64(static_cast<std::uint64_t>(t.unix_seconds()));
  hasher.write_u64(t.nanosecond());
}

PyObject* window_intersection_of(PyObject* self, const Span& own, const Signature& sig, PyObject* const* args,
                                 Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(sig, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto other = arg_interval(state, parsed[0], "other");
  if (!other) return nullptr;
  const auto common = overlap(own, Span{other->start, other->end});
  if (!common) Py_RETURN_NONE;
  return make_interval(state, common->start, common->end);
}

PyObject* deprecated_duration_seconds(const Span& span) {
  if (PyErr_WarnEx(PyExc_DeprecationWarning, "duration_seconds is deprecated; use duration instead", 1) < 0) {
    return nullptr;
  }
  return PyFloat_FromDouble(whole_millis_seconds(span.end - span.start));
}

void append_bounds(std::string& out, const char* prefix, Instant start, Instant end) {
  out += prefix;
  out += "start=";
  append_datetime(out, start);
  out += ", end=";
  append_datetime(out, end);
}

PyObject* repr_with_duration(const char* prefix, const Span& span) {
  std::string text;
  append_bounds(text, prefix, span.start, span.end);
  text += ", duration=";
  append_fixed(text, whole_millis_seconds(span.end - span.start), 1);
  text += "s)";
  return repr_result(text);
}

// ---------------------------------------------------------------------------------------------
// Interval

namespace {

constexpr Param kIntervalParams[] = {{"start"}, {"end"}};
constexpr Signature kIntervalSignature{"Interval", kIntervalParams, {}};
constexpr Signature kIntersection{"Interval.intersection", kIntersectionParams, {}};

PyObject* interval_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> a;
  if (!a.parse(kIntervalSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of_type(type);
  const auto start = arg_instant(state, a[0], "start");
  if (!start) return nullptr;
  const auto end = arg_instant(state, a[1], "end");
  if (!end) return nullptr;
  return box(type, Span{*start, *end});
}
using IntervalConstructor = Constructor<interval_new>;

PyObject* interval_repr(PyObject* self) {
  const Span& span = unbox<Span>(self);
  std::string text;
  append_bounds(text, "Interval(", span.start, span.end);
  text += ')';
  return repr_result(text);
}

PyGetSetDef getset[] = {
    start_attribute<Span>("Inclusive start of the interval."),
    end_attribute<Span>("Exclusive end of the interval."),
    duration_attribute<Span>(),
    mid_point_attribute<Span>(),
    {},
};

auto slots = window_slots<Span, kIntersection>("Interval(start, end)\n--\n\nA concrete `[start, end)` interval.",
                                               getset, Guard<interval_repr>::call, IntervalConstructor::tp_new);
PyType_Spec type_spec = class_spec<Span>("satvane._satvane.Interval", slots.data());

}  // namespace

const ClassDef Interval_class{&type_spec, IntervalConstructor::ready};

PyObject* make_interval(ModuleState& state, Instant start, Instant end) {
  return box(state.type(ClassId::Interval), Span{start, end});
}

}  // namespace satvane::py
