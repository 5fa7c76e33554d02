// tellavo send --dry-run: what sending the messages would do and cost,
// without the module or the gateway. For each message, the text as the
// gateway will read it (folded; the escaping of the request is undone by the
// gateway's parser), the basket its length puts it in, and the SMS it takes;
// then the totals of each basket.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "gateway/MessageBasket.h"

namespace tellavo::cli {

class SendPreview {
public:
  // As JSON, one object per message and one for the totals; else for people.
  explicit SendPreview(bool json) : json_(json) {}

  // Prints the message's line(s) on standard output.
  void Add(std::u16string_view number, std::u16string_view text);
  // Prints the totals; the exit status that sending would end with (1 when a
  // message would be dropped or a basket refused).
  int Finish();

private:
  struct Basket {
    std::string_view name;
    TStringList numbers;
    TStringList texts;
    size_t parts = 0;
  };
  // Why the module would refuse to send the basket, if it would.
  static std::optional<std::u16string> Refusal(const Basket& basket, bool concatenated);

  bool json_;
  Basket short_{"short", {}, {}};
  Basket long_{"long", {}, {}};
  size_t dropped_ = 0;
};

// The text as the gateway reads it out of the request: folded, with the
// entities that folding writes for & < > read back.
std::u16string ReceivedText(std::u16string_view text);

} // namespace tellavo::cli
