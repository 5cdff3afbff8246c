#pragma once

#include <string_view>

// Whether an address, or the scheme a sender reports, is the app's own. One
// rule for every place that asks: the scheme is compared without regard to
// ASCII letter case, as URL parsers treat schemes ("HALVANE://local/" is the
// same address as "halvane://local/"), and the ":" must follow it at once.

// scheme: without its ":".
bool isOwnScheme(std::string_view scheme);

bool isOwnAddress(std::string_view url);
