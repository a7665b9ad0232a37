// The Python class Tle: a satellite name and two element lines, kept as given.
#pragma once

#include <string>

#include "pyutil.hpp"

namespace satvane::py {

struct TleText {
  std::string satellite_name;
  std::string line_1;
  std::string line_2;
  friend bool operator==(const TleText&, const TleText&) = default;
};

// The text of a Tle instance (the caller checks the type with is_exact).
inline const TleText& tle_text(PyObject* tle) { return unbox<TleText>(tle); }

}  // namespace satvane::py
