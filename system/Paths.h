#pragma once

#include <filesystem>

// Questions about paths that several parts of the app ask, answered once.

// Whether anything is at the path, a dangling link included; the link
// itself is looked at, never what it leads to.
bool itemExists(const std::filesystem::path& path);

// Whether the folder itself counts as lying within it.
enum class FolderItself { Counts, DoesNotCount };

// Whether path lies beneath folder, both spelled alike (both canonical);
// the folder itself as `itself` says.
bool isWithin(const std::filesystem::path& path, const std::filesystem::path& folder,
              FolderItself itself);
