#include "common/TextUtil.h"

namespace tellavo {

std::u16string RemoveCrLfPairs(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
      ++i;
    else
      out += text[i];
  }
  return out;
}

std::u16string TrimControl(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] <= u' ')
    ++begin;
  while (end > begin && text[end - 1] <= u' ')
    --end;
  return std::u16string(text.substr(begin, end - begin));
}

std::u16string TrimRightControlAndPeriods(std::u16string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] <= u' ' || text[end - 1] == u'.'))
    --end;
  return std::u16string(text.substr(0, end));
}

} // namespace tellavo
