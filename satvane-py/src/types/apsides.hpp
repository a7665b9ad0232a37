// Python classes Apsis (one apogee or perigee), ApsisEvent and ApsisIter, and the Predictor
// method apsis_iter.
#pragma once

#include <cstdint>

#include "module.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

// The values Python sees: int(ApsisEvent.Apogee) is 0, int(ApsisEvent.Perigee) is 1, whatever
// order the core search gives its own kinds.
enum class ApsisKind : std::uint8_t { Apogee = 0, Perigee = 1 };

// The shared ApsisEvent member.
PyObject* to_py(ModuleState& state, ApsisKind kind);

// The record an instance holds.
struct ApsisRecord {
  Instant time;
  ApsisKind event;
  double altitude_m;
  friend bool operator==(const ApsisRecord&, const ApsisRecord&) = default;
};

PyObject* make_apsis(ModuleState& state, Instant time, ApsisKind kind, double altitude_m);

PyMethodDef apsis_iter_method();

}  // namespace satvane::py
