// A syntax-only pass over JSON text.
#pragma once

#include <optional>
#include <string_view>

#include "sgp4/omm.hpp"

namespace sgp4 {

// The first syntax fault of `text` read as one JSON value (surrounding whitespace allowed),
// positioned like the OMM reader's errors; nothing when the text is well-formed JSON. The
// OMM reader stops at the first problem it meets, which may be a record fault ahead of a
// syntax fault further on; callers that must tell malformed JSON from a malformed record
// check the syntax first.
std::optional<OmmError> json_syntax_error(std::string_view text);

}  // namespace sgp4
