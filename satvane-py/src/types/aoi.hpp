// Python classes AoiWindow and Coverage.
#pragma once

#include <cstdint>
#include <optional>

#include "module.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end);

// Whether any part of an area or all of it must be within reach (values as the Python members).
enum class Coverage : std::uint8_t { Any = 0, Full = 1 };
PyObject* to_py(ModuleState& state, Coverage coverage);
// A Coverage member; TypeError with the parameter note for anything else.
std::optional<Coverage> arg_coverage(ModuleState& state, PyObject* obj, const char* param);

}  // namespace satvane::py
