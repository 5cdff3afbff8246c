#pragma once

#include <string_view>

// True when the bytes are well-formed UTF-8: no overlong forms, no surrogate
// code points, nothing above U+10FFFF. A Linux path can hold any bytes, but a
// property list or a desktop entry can only carry text.
bool isWellFormedUtf8(std::string_view bytes);
