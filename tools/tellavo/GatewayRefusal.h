// A gateway's refusal of a request. The gateway refuses with an answer
// document, not a fault: <ERROR> holding the refusal's <CODE> and its
// <DESCRIPTION>. The status and report methods hand their answer on as
// received, so a refusal reaches the client whole.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tellavo::cli {

struct Refusal {
  std::u16string code;
  std::u16string description; // empty when the document has none
};

// The refusal that `answer` is, or nothing when it is an answer proper. An
// XML declaration, blank characters and line breaks around the elements are
// allowed; a refusal must carry a code.
std::optional<Refusal> ReadRefusal(std::u16string_view answer);

} // namespace tellavo::cli
