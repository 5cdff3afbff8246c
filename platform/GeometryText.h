#pragma once

#include "platform/geometry.h"

#include <string>
#include <string_view>

// The text forms AppKit uses for rectangles and points in the user defaults
// ("{{x, y}, {w, h}}" and "{x, y}"), so a settings file reads the same on every
// platform. Parsing is as lenient as NSRectFromString / NSPointFromString: the
// first numbers in order, any other characters skipped, missing numbers 0.

std::string stringFromRect(const platform::Rect& rect);
platform::Rect rectFromString(std::string_view text);
std::string stringFromPoint(const platform::Point& point);
platform::Point pointFromString(std::string_view text);
