// The message basket: messages queued by addtosmsbasket and sent, all at
// once, by sendsms (short basket) or sendsmsconcat (long basket). It belongs
// to the loaded module and is shared by every Gateway object in the process.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tellavo {

// Texts up to this many UTF-16 units go to the short basket...
inline constexpr size_t kShortTextLimit = 160;
// ...texts up to this many to the long basket; longer ones are dropped.
inline constexpr size_t kLongTextLimit = 612;

using TStringList = std::vector<std::u16string>;

// One basket: entry i of Numbers and entry i of Texts form one message.
struct TBasketLists {
  const TStringList& Numbers;
  const TStringList& Texts;
};

class TMessageBasket {
public:
  // The process-wide basket.
  static TMessageBasket& Instance();

  // Queues one message by the length of its text; a text longer than
  // kLongTextLimit is dropped without a trace.
  void Add(std::u16string_view msg, std::u16string_view gsm);
  // Empties both baskets; before the first Add it changes nothing.
  void Clear();

  // Runs `reader` on the short (long) basket under the basket's lock, or
  // with no lists when the basket was never created.
  using Reader = std::function<void(const TBasketLists* lists)>;
  void ReadShort(const Reader& reader) const;
  void ReadLong(const Reader& reader) const;

private:
  void Read(const TStringList& numbers, const TStringList& texts, const Reader& reader) const;

  mutable std::mutex lock_;
  bool created_ = false;
  TStringList ShortNumbers;
  TStringList ShortTexts;
  TStringList LongNumbers;
  TStringList LongTexts;
};

} // namespace tellavo
