// Files the program writes are written to a temporary name beside the target
// and renamed into place only when complete, so a failed or interrupted write
// never leaves a half-written file behind.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mixed::host {

// Writes `content` to `path` atomically; on failure returns false and sets
// `error` to a message naming the file and the reason.
bool write_file_atomic(const std::string& path, std::string_view content, std::string& error);

// Reads a whole file; on failure returns nothing and sets `error`.
std::optional<std::string> read_file(const std::string& path, std::string& error);

}  // namespace mixed::host
