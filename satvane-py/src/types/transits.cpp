#include "types/transits.hpp"

#include "types/window.hpp"

namespace satvane::py {

namespace {

constexpr SearchWindowTexts kTexts{
    "satvane._satvane.Transit",
    "Transit(",
    "A satellite pass — the window during which the satellite is above the minimum elevation.",
    "Acquisition of Signal: when the satellite rises above `min_elevation`.",
    "Loss of Signal: when the satellite drops below `min_elevation`.",
    "Duration of the transit in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
};
constexpr Signature kIntersection{"Transit.intersection", kIntersectionParams, {}};
using TransitClass = SearchWindowClass<kTexts, kIntersection>;

}  // namespace

const ClassDef Transit_class{&TransitClass::type_spec, nullptr};

PyObject* make_transit(ModuleState& state, Instant start, Instant end) {
  return box(state.type(ClassId::Transit), Span{start, end});
}

}  // namespace satvane::py
