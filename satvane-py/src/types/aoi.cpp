#include "types/aoi.hpp"

#include "types/window.hpp"

namespace satvane::py {

namespace {

constexpr SearchWindowTexts kTexts{
    "satvane._satvane.AoiWindow",
    "AoiWindow(",
    "The window during which an area is within the payload's reach.",
    "When the area comes within reach.",
    "When it passes back out of reach.",
    "Duration of the window in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
};
constexpr Signature kIntersection{"AoiWindow.intersection", kIntersectionParams, {}};
using AoiWindowClass = SearchWindowClass<kTexts, kIntersection>;

}  // namespace

const ClassDef AoiWindow_class{&AoiWindowClass::type_spec, nullptr};

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end) {
  return box(state.type(ClassId::AoiWindow), Span{start, end});
}

}  // namespace satvane::py
