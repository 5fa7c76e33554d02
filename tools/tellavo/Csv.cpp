#include "tools/tellavo/Csv.h"

#include "tools/tellavo/CommandLine.h"

namespace tellavo::cli {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class CsvReader {
public:
  explicit CsvReader(std::string_view text) : text_(text) {
    if (text_.starts_with(kByteOrderMark))
      text_.remove_prefix(kByteOrderMark.size());
  }

  std::vector<CsvRecord> Records() {
    std::vector<CsvRecord> records;
    while (pos_ < text_.size()) {
      CsvRecord record{line_, {}};
      if (AtLineEnd()) {
        SkipLineEnd();
        continue;
      }
      do
        record.fields.push_back(Field());
      while (Accept(','));
      if (!AtLineEnd() && pos_ < text_.size())
        Fail(record.line, "text after a closing quote");
      SkipLineEnd();
      records.push_back(std::move(record));
    }
    return records;
  }

private:
  bool AtLineEnd() const {
    return text_.substr(pos_).starts_with("\n") || text_.substr(pos_).starts_with("\r\n");
  }
  void SkipLineEnd() {
    Accept('\r');
    Accept('\n');
    ++line_;
  }
  bool Accept(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  [[noreturn]] static void Fail(size_t line, std::string_view what) {
    throw EUsageError("CSV line " + std::to_string(line) + ": " + std::string(what));
  }

  std::string Field() {
    if (Accept('"'))
      return QuotedField();
    std::string field;
    while (pos_ < text_.size() && text_[pos_] != ',' && !AtLineEnd())
      field += text_[pos_++];
    return field;
  }

  // The content of a quoted field, whose opening quote has been read; line
  // breaks inside it belong to the text.
  std::string QuotedField() {
    const size_t start = line_;
    std::string field;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        if (!Accept('"'))
          return field;
        field += '"';
        continue;
      }
      if (c == '\n')
        ++line_;
      field += c;
    }
    Fail(start, "a quoted field is not closed");
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 1;
};

} // namespace

std::vector<CsvRecord> ReadCsv(std::string_view text) {
  return CsvReader(text).Records();
}

} // namespace tellavo::cli
