#pragma once

#include <filesystem>

// A regular file (after links) that someone may execute: what a login item
// or an installed copy must start.
bool isExecutableFile(const std::filesystem::path& path);
