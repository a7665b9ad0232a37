// The core error: one value per failing layer, each with its display text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "sgp4/propagator.hpp"
#include "sgp4/tle.hpp"

namespace satvane {

enum class ErrorKind : std::uint8_t { Tle, Elements, Sgp4, Interval, Roots, Detect, Aoi };

class Error {
 public:
  static Error tle(const sgp4::TleError& e) { return {ErrorKind::Tle, e.text()}; }
  static Error elements(const sgp4::ElementsError& e) { return {ErrorKind::Elements, e.text()}; }
  static Error sgp4(const sgp4::PropagationError& e) { return {ErrorKind::Sgp4, e.text()}; }
  static Error interval(std::string message) { return {ErrorKind::Interval, std::move(message)}; }
  // The inner texts of the root finder, the detection engine and the area errors.
  static Error roots(std::string text) { return {ErrorKind::Roots, std::move(text)}; }
  static Error detect(std::string text) { return {ErrorKind::Detect, std::move(text)}; }
  static Error aoi(std::string text) { return {ErrorKind::Aoi, std::move(text)}; }

  ErrorKind kind() const { return kind_; }
  // The inner error's own text, without the kind's prefix.
  const std::string& inner_text() const { return inner_; }
  // Prefix + inner text; the Tle kind's text already carries its prefix.
  std::string display() const;

  friend bool operator==(const Error&, const Error&) = default;

 private:
  Error(ErrorKind kind, std::string inner) : kind_(kind), inner_(std::move(inner)) {}
  ErrorKind kind_;
  std::string inner_;
};

}  // namespace satvane
