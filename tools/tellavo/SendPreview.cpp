#include "tools/tellavo/SendPreview.h"

#include <algorithm>
#include <array>
#include <iostream>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "gateway/FoldText.h"
#include "gateway/RequestDocuments.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/Json.h"
#include "tools/tellavo/SmsParts.h"

namespace tellavo::cli {
namespace {

constexpr std::string_view kDropped = "dropped";
constexpr std::array<char16_t, 3> kMarkup{u'&', u'<', u'>'};

std::string Plural(size_t count, std::string_view word) {
  return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

// The text for a terminal: lines after the first indented under the message.
std::string Indented(std::u16string_view text) {
  std::string out = "  ";
  for (const char c : Utf16ToUtf8(text)) {
    out += c;
    if (c == '\n')
      out += "  ";
  }
  return out;
}

} // namespace

std::u16string ReceivedText(std::u16string_view text) {
  const std::u16string folded = FoldText(text);
  std::u16string received;
  received.reserve(text.size());
  // Folding escapes every & < >, so each & starts one of their entities.
  for (size_t i = 0; i < folded.size();) {
    const std::u16string_view rest = std::u16string_view(folded).substr(i);
    const auto markup = std::find_if(kMarkup.begin(), kMarkup.end(), [rest](char16_t c) {
      return rest.front() == u'&' && rest.starts_with(MarkupEntity(c));
    });
    received += markup == kMarkup.end() ? rest.front() : *markup;
    i += markup == kMarkup.end() ? 1 : MarkupEntity(*markup).size();
  }
  return received;
}

void SendPreview::Add(std::u16string_view number, std::u16string_view text) {
  const std::u16string received = ReceivedText(text);
  const SmsCount count = CountSms(received);
  // Counted as the basket counts: UTF-16 units of the text as given.
  const size_t length = text.size();
  Basket* basket = length <= kShortTextLimit  ? &short_
                   : length <= kLongTextLimit ? &long_
                                              : nullptr;
  const size_t parts = basket ? count.parts : 0;
  const std::string_view basketName = basket ? basket->name : kDropped;
  if (basket) {
    basket->numbers.emplace_back(number);
    basket->texts.emplace_back(text);
    basket->parts += parts;
  } else {
    ++dropped_;
  }
  if (json_) {
    std::cout << JsonLine({{"number", number},
                           {"text", received},
                           {"length", length},
                           {"basket", basketName},
                           {"encoding", EncodingName(count.encoding)},
                           {"units", count.units},
                           {"parts", parts}})
              << '\n';
    return;
  }
  std::cout << Utf16ToUtf8(number) << ": " << basketName << ", " << Plural(length, "character")
            << ", " << EncodingName(count.encoding) << ", "
            << (basket ? Plural(parts, "SMS part")
                       : "not sent, over " + std::to_string(kLongTextLimit) + " characters")
            << '\n'
            << Indented(received) << '\n';
}

std::optional<std::u16string> SendPreview::Refusal(const Basket& basket, bool concatenated) {
  if (basket.numbers.empty())
    return std::nullopt;
  try {
    BuildSendDocument(concatenated ? SendDocumentKind::SendConcat : SendDocumentKind::SendSms, {},
                      TBasketLists{basket.numbers, basket.texts});
  } catch (const EXMLDocError& refusal) {
    return refusal.Message();
  }
  return std::nullopt;
}

int SendPreview::Finish() {
  const std::optional<std::u16string> shortRefusal = Refusal(short_, false);
  const std::optional<std::u16string> longRefusal = Refusal(long_, true);
  if (json_) {
    const auto total = [](const Basket& basket, const std::optional<std::u16string>& refusal) {
      return Json{
          {"messages", basket.numbers.size()}, {"parts", basket.parts}, {"refused", refusal}};
    };
    std::cout << JsonLine({{"totals",
                            {{"short", total(short_, shortRefusal)},
                             {"long", total(long_, longRefusal)},
                             {"dropped", {{"messages", dropped_}}}}}})
              << '\n';
  } else {
    for (const Basket* basket : {&short_, &long_})
      std::cout << basket->name << ": " << Plural(basket->numbers.size(), "message") << " in "
                << Plural(basket->parts, "SMS part") << '\n';
    std::cout << kDropped << ": " << Plural(dropped_, "message") << " over " << kLongTextLimit
              << " characters\n";
    for (const auto& [basket, refusal] :
         {std::pair{&short_, &shortRefusal}, std::pair{&long_, &longRefusal}})
      if (*refusal)
        std::cerr << "tellavo: the " << basket->name
                  << " basket would not be sent: " << Utf16ToUtf8(**refusal) << '\n';
  }
  std::cout << std::flush;
  return dropped_ == 0 && !shortRefusal && !longRefusal ? kExitOk : kExitFailed;
}

} // namespace tellavo::cli
