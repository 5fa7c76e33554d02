#include "tools/tellavo/GatewayRefusal.h"

namespace tellavo::cli {
namespace {

constexpr std::u16string_view kDeclarationStart = u"<?xml";
constexpr std::u16string_view kDeclarationEnd = u"?>";

// An element of the refusal document, by its start and end tags.
struct Element {
  std::u16string_view start;
  std::u16string_view end;
};
constexpr Element kRefusal{u"<ERROR>", u"</ERROR>"};
constexpr Element kCode{u"<CODE>", u"</CODE>"};
constexpr Element kDescription{u"<DESCRIPTION>", u"</DESCRIPTION>"};

bool IsBlank(char16_t c) {
  return c <= u' ';
}

// `text` without the blank and control characters at either end.
std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// The trimmed content of the first `element` in `document`, when it holds
// text alone.
std::optional<std::u16string_view> ElementText(std::u16string_view document,
                                               const Element& element) {
  const size_t open = document.find(element.start);
  if (open == std::u16string_view::npos)
    return std::nullopt;
  const size_t from = open + element.start.size();
  const size_t close = document.find(element.end, from);
  if (close == std::u16string_view::npos)
    return std::nullopt;
  const std::u16string_view content = document.substr(from, close - from);
  if (content.find(u'<') != std::u16string_view::npos)
    return std::nullopt;
  return Trimmed(content);
}

} // namespace

std::optional<Refusal> ReadRefusal(std::u16string_view answer) {
  std::u16string_view document = Trimmed(answer);
  if (document.starts_with(kDeclarationStart)) {
    const size_t end = document.find(kDeclarationEnd);
    if (end == std::u16string_view::npos)
      return std::nullopt;
    document = Trimmed(document.substr(end + kDeclarationEnd.size()));
  }
  if (!document.starts_with(kRefusal.start) || !document.ends_with(kRefusal.end))
    return std::nullopt;
  const std::optional<std::u16string_view> code = ElementText(document, kCode);
  if (!code || code->empty())
    return std::nullopt;
  return Refusal{std::u16string(*code),
                 std::u16string(ElementText(document, kDescription).value_or(u""))};
}

} // namespace tellavo::cli
