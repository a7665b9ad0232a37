// The protocol every window class shares (start, end, duration, mid_point, intersection, the
// deprecated duration_seconds, hashing), and the general `Interval`.
//
// A window class stores a record with `start` and `end` instants (`Span`, or a record of its
// own) and declares its table with the entries below; see transits.cpp for the shortest one.
#pragma once

#include <array>
#include <optional>

#include "convert.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

struct Span {
  Instant start;
  Instant end;
  friend bool operator==(const Span&, const Span&) = default;
};

// start + (end − start) / 2, halved exactly at nanosecond resolution and truncated toward zero,
// so it lies between the two whatever their order.
Instant mid_point(Instant start, Instant end);

// The overlap of two windows, empty unless it has positive length (touching windows and
// reversed ones overlap nothing).
std::optional<Span> overlap(const Span& a, const Span& b);

// A new `Interval` (the result of every `intersection`).
PyObject* make_interval(ModuleState& state, Instant start, Instant end);

// Hash input of the window fields: each instant as its Unix seconds and nanoseconds.
void hash_instant(SipHasher13& hasher, Instant t);
inline void hash_fields(SipHasher13& hasher, const Span& span) {
  hash_instant(hasher, span.start);
  hash_instant(hasher, span.end);
}

// ---------------------------------------------------------------------------------------------
// Shared implementations (non-template cores live in window.cpp).

// `intersection(other)`; `sig` names the method as argument errors show it ("Transit.intersection").
inline constexpr Param kIntersectionParams[] = {{"other"}};
PyObject* window_intersection_of(PyObject* self, const Span& own, const Signature& sig, PyObject* const* args,
                                 Py_ssize_t nargs, PyObject* kwnames);
// Issues the DeprecationWarning, then end − start in whole milliseconds (toward zero) / 1000.
PyObject* deprecated_duration_seconds(const Span& span);
// "<prefix>start=…, end=…" without the closing parenthesis.
void append_bounds(std::string& out, const char* prefix, Instant start, Instant end);
// "<prefix>start=…, end=…, duration=….…s)", the duration from whole milliseconds.
PyObject* repr_with_duration(const char* prefix, const Span& span);

template <class T>
Span span_of(const T& window) {
  return Span{window.start, window.end};
}

template <class T>
PyObject* get_duration(PyObject* self, const T& w) {
  return to_py(state_of(self), w.end - w.start);
}
template <class T>
PyObject* get_mid_point(PyObject* self, const T& w) {
  return to_py(state_of(self), mid_point(w.start, w.end));
}
template <class T>
PyObject* get_duration_seconds(PyObject*, const T& w) {
  return deprecated_duration_seconds(span_of(w));
}
template <class T, const Signature& Sig>
PyObject* intersection(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return window_intersection_of(self, span_of(unbox<T>(self)), Sig, args, nargs, kwnames);
}
template <class T>
Py_hash_t window_hash(PyObject* self) {
  SipHasher13 hasher;
  hash_fields(hasher, unbox<T>(self));
  return python_hash(hasher.finish());
}

// Table entries.
template <class T>
constexpr PyGetSetDef start_attribute(const char* doc) {
  return readonly_field<T, &T::start>("start", doc);
}
template <class T>
constexpr PyGetSetDef end_attribute(const char* doc) {
  return readonly_field<T, &T::end>("end", doc);
}
template <class T>
constexpr PyGetSetDef duration_attribute() {
  return readonly<T, get_duration<T>>("duration", "Length of the interval.");
}
template <class T>
constexpr PyGetSetDef mid_point_attribute() {
  return readonly<T, get_mid_point<T>>("mid_point", "The instant halfway between `start` and `end`.");
}
template <class T>
constexpr PyGetSetDef duration_seconds_attribute(const char* doc) {
  return readonly<T, get_duration_seconds<T>>("duration_seconds", doc);
}

template <class T, const Signature& Intersection>
inline PyMethodDef window_methods[] = {
    fastcall_method<intersection<T, Intersection>>("intersection",
                                                   "intersection($self, other)\n--\n\n"
                                                   "The overlap with `other`, or None if the two do not overlap."),
    {},
};

// The slots of a window class. `constructor` is null for the classes only the library makes;
// `repr` and `constructor` are expected to run under Guard.
template <class T, const Signature& Intersection>
std::array<PyType_Slot, 9> window_slots(const char* doc, PyGetSetDef* getset, reprfunc repr,
                                        newfunc constructor = nullptr) {
  return value_slots<T>(doc, getset, repr, window_methods<T, Intersection>, constructor, window_hash<T>);
}

// The windows a search yields with no field beyond their bounds (Transit, AoiWindow).
struct SearchWindowTexts {
  const char* qualified_name;
  const char* repr_prefix;  // "Transit("
  const char* doc;
  const char* start_doc;
  const char* end_doc;
  const char* duration_seconds_doc;
};

template <const SearchWindowTexts& Texts, const Signature& Intersection>
struct SearchWindowClass {
  static PyObject* repr(PyObject* self) { return repr_with_duration(Texts.repr_prefix, unbox<Span>(self)); }

  static inline PyGetSetDef getset[] = {
      start_attribute<Span>(Texts.start_doc),
      end_attribute<Span>(Texts.end_doc),
      duration_attribute<Span>(),
      mid_point_attribute<Span>(),
      duration_seconds_attribute<Span>(Texts.duration_seconds_doc),
      {},
  };
  static inline auto slots = window_slots<Span, Intersection>(Texts.doc, getset, Guard<repr>::call);
  static inline PyType_Spec type_spec = class_spec<Span>(Texts.qualified_name, slots.data(), /*constructible=*/false);
};

}  // namespace satvane::py
