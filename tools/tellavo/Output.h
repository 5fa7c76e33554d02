// Writing results: answers for people, HRESULTs as scripts see them.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "Platform.h"

namespace tellavo::cli {

// "0x" and eight upper-case hexadecimal digits.
std::string HresultText(HRESULT hresult);

// A gateway answer as UTF-8, ended by a line feed unless it ends in one.
void PrintAnswer(std::ostream& out, std::u16string_view answer);

} // namespace tellavo::cli
