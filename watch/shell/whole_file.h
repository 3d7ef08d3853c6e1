// Small files read and written whole: the state file is never edited in
// place, so a crash leaves either the old or the new one.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

namespace mail {

enum class ReadOutcome { Read, Missing, TooLarge, Failed };

// Reads the whole file if it holds at most `limit` bytes.
ReadOutcome ReadWholeFile(const std::string& path, size_t limit, std::string* contents);

enum class FileReaders { Default, CurrentUserOnly };

// Writes `contents` to "<path>.tmp" in the same folder, flushes it, then
// swaps it in with one rename; false with `*why` on any failure, and the
// file at `path` is then untouched. CurrentUserOnly: the new file's DACL
// lets the current user alone in, whatever the folder would pass on.
bool ReplaceWholeFile(
    const std::string& path, std::string_view contents, std::string* why, FileReaders readers = FileReaders::Default);

} // namespace mail
