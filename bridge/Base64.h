#pragma once

#include <optional>
#include <string>
#include <string_view>

// Standard Base64 (RFC 4648, "+" and "/") as the page's FileReader produces
// it. ASCII whitespace anywhere is skipped, so wrapped text decodes as if it
// were on one line. Anything else must be exact: only alphabet symbols, a
// length that is a multiple of four, and "=" padding only at the very end, at
// most two. Text that breaks a rule is nothing rather than a guess at the
// bytes: a file written from a guess would be corrupt. Unused bits in the
// last symbol are ignored, as Foundation's decoder ignores them.
std::optional<std::string> decodeBase64(std::string_view text);
