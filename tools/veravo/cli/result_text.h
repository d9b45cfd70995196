// How the tool prints the results of component methods.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace veravo::cli {

struct NoResult {};
using CallResult = std::variant<NoResult, std::string, bool, long long>;

// A string result in double quotes: bytes below 0x20, 0x7F, '"' and '\' as
// C escapes, code page 936 characters converted to UTF-8, bytes that form no
// such character as \xHH.
std::string QuoteResult(std::string_view text);
// One line per call: the quoted string, true/false, the decimal number, or
// "-" for none.
std::string FormatResult(const CallResult& result);

}  // namespace veravo::cli
