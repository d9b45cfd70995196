// Conversion of the package's code page 936 (GBK) texts for display.
#pragma once

#include <string>
#include <string_view>

namespace veravo {

// Converts code page 936 text to UTF-8. Bytes that do not form a valid
// character are shown as U+FFFD; ASCII passes unchanged.
std::string Cp936ToUtf8(std::string_view text);

}  // namespace veravo
