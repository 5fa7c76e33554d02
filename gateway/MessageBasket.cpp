#include "gateway/MessageBasket.h"

namespace tellavo {

namespace {

// Appends one message so that a failed allocation leaves both lists as they
// were: the two lists of a basket always have the same number of entries.
void Append(TStringList& numbers, TStringList& texts, std::u16string_view gsm,
            std::u16string_view msg) {
  std::u16string number(gsm);
  std::u16string text(msg);
  for (TStringList* list : {&numbers, &texts})
    if (list->size() == list->capacity())
      list->reserve(list->empty() ? 16 : list->capacity() * 2);
  numbers.push_back(std::move(number));
  texts.push_back(std::move(text));
}

} // namespace

TMessageBasket& TMessageBasket::Instance() {
  static TMessageBasket basket;
  return basket;
}

void TMessageBasket::Add(std::u16string_view msg, std::u16string_view gsm) {
  std::lock_guard guard(lock_);
  created_ = true;
  if (msg.size() <= kShortTextLimit)
    Append(ShortNumbers, ShortTexts, gsm, msg);
  else if (msg.size() <= kLongTextLimit)
    Append(LongNumbers, LongTexts, gsm, msg);
}

void TMessageBasket::Clear() {
  std::lock_guard guard(lock_);
  ShortNumbers.clear();
  ShortTexts.clear();
  LongNumbers.clear();
  LongTexts.clear();
}

void TMessageBasket::ReadShort(const Reader& reader) const {
  Read(ShortNumbers, ShortTexts, reader);
}

void TMessageBasket::ReadLong(const Reader& reader) const {
  Read(LongNumbers, LongTexts, reader);
}

void TMessageBasket::Read(const TStringList& numbers, const TStringList& texts,
                          const Reader& reader) const {
  std::lock_guard guard(lock_);
  if (!created_) {
    reader(nullptr);
    return;
  }
  const TBasketLists lists{numbers, texts};
  reader(&lists);
}

} // namespace tellavo
