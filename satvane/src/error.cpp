#include "satvane/error.hpp"

namespace satvane {

std::string Error::display() const {
  std::string_view prefix;
  switch (kind_) {
    case ErrorKind::Tle: prefix = ""; break;
    case ErrorKind::Elements: prefix = "SGP4 elements error: "; break;
    case ErrorKind::Sgp4: prefix = "SGP4 propagation error: "; break;
    case ErrorKind::Interval: prefix = "Interval error: "; break;
    case ErrorKind::Roots: prefix = "Roots error: "; break;
    case ErrorKind::Detect: prefix = "Detection error: "; break;
    case ErrorKind::Aoi: prefix = "Area of interest error: "; break;
  }
  std::string text;
  text.reserve(prefix.size() + inner_.size());
  text.append(prefix).append(inner_);
  return text;
}

}  // namespace satvane
