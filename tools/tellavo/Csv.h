// Reading comma-separated records: fields may be quoted ("a, b", "say ""hi"""),
// a quoted field may span lines, lines end in LF or CR LF, and a UTF-8 byte
// order mark at the start is skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tellavo::cli {

struct CsvRecord {
  size_t line; // where the record starts, from 1
  std::vector<std::string> fields;
};

// Every record of the text; empty lines are skipped. Throws EUsageError for
// a quote that is never closed or text after a closing quote.
std::vector<CsvRecord> ReadCsv(std::string_view text);

} // namespace tellavo::cli
