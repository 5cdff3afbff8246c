#pragma once

#include <optional>
#include <string>

// The page's zoom, kept under "pageZoom" as a whole percentage ("150"), so
// the settings file reads the same in every locale.
inline constexpr const char* PAGE_ZOOM_KEY = "pageZoom";
inline constexpr int ACTUAL_SIZE_PERCENT = 100;
inline constexpr int MIN_ZOOM_PERCENT = 50;
inline constexpr int MAX_ZOOM_PERCENT = 300;

// The stored level: a whole number of percent within 50…300; anything else
// (missing, not a number, out of range, trailing text) is the actual size.
int pageZoomFromString(const std::optional<std::string>& stored);
std::string stringFromPageZoom(int percent);

// One step up or down the ladder 50, 67, 75, 80, 90, 100, 110, 125, 150, 175,
// 200, 250, 300 from any level, the next step past it; the ends stay put.
int zoomedIn(int percent);
int zoomedOut(int percent);
