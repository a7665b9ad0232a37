// Python classes Illumination (a window of constant illumination state) and IlluminationState.
#pragma once

#include "module.hpp"
#include "satvane/illumination.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

// The shared IlluminationState member (Sunlit is 0, Eclipse 1).
PyObject* to_py(ModuleState& state, IlluminationState value);

// The record an instance holds.
struct IlluminationWindow {
  Instant start;
  Instant end;
  IlluminationState state;
  friend bool operator==(const IlluminationWindow&, const IlluminationWindow&) = default;
};

PyObject* make_illumination(ModuleState& state, Instant start, Instant end, IlluminationState value);

}  // namespace satvane::py
