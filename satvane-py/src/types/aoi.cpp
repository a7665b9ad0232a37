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

constexpr EnumInfo kCoverageInfo{
    ClassId::Coverage, "satvane._satvane.Coverage", "Coverage",
    "Whether any part of an area, or all of it, must be within reach for a window\nto be open.",
    {"Any", "Full"}, 2};

}  // namespace

const ClassDef AoiWindow_class{&AoiWindowClass::type_spec, nullptr};
const ClassDef Coverage_class{&Enumeration<kCoverageInfo>::type_spec, Enumeration<kCoverageInfo>::ready};

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end) {
  return box(state.type(ClassId::AoiWindow), Span{start, end});
}

PyObject* to_py(ModuleState& state, Coverage coverage) {
  return enum_member(state, ClassId::Coverage, static_cast<unsigned>(coverage));
}

std::optional<Coverage> arg_coverage(ModuleState& state, PyObject* obj, const char* param) {
  if (!arg_instance(obj, state.type(ClassId::Coverage), param)) return std::nullopt;
  return static_cast<Coverage>(enum_value(obj));
}

}  // namespace satvane::py
