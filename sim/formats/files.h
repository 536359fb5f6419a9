// Whole files read and written: scenario files, scripts, the pictures and saves of a run.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The largest file read: no scenario or script comes near, and an endless one (a device, a
// runaway generator) must end in a message, not in all memory taken.
inline constexpr size_t kMaxFileSize = size_t{16} << 20;

// Why `path` cannot be read as a file without opening it, which for a FIFO would wait for a
// writer: "it is a folder, not a regular file" (a FIFO, a device, a socket). Empty for a
// regular file, and for a path that is not there, which opening then tells.
std::string notARegularFile(const std::string& path);

// The file as bytes. On failure nothing, with `error` "<path>: cannot open<kind>: <reason>"
// (the reason from notARegularFile when there is one),
// "<path>: cannot read<kind>: <reason>", "<path>: cannot read<kind>: larger than 16 MiB" or,
// for a text whose lines end in CR alone, "<path>: cannot read<kind>: its lines end in a
// carriage return (CR) alone; ...", where `kind` names the file for the reader (" the script")
// or is empty.
std::optional<std::string> readFile(const std::string& path, std::string& error, std::string_view kind = {});

// A file installed with the program: `fromProgram` is its path relative to the program's folder.
// The normalised path when there is such a file, else empty.
std::string installedFile(std::string_view fromProgram);

// A file that takes the place of `path` only once it is completely written, so that a write
// that fails leaves the old file as it was: it is written under the name `path` + `suffix`,
// renamed over `path` by commit(), and removed again when it is not committed.
class ReplacingFile {
public:
    explicit ReplacingFile(std::filesystem::path path, std::string_view suffix = ".tmp");
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    const std::filesystem::path& temporary() const { return temporary_; }

    // Creates the temporary file, for a caller that wants to know it can be written before it
    // has the text.
    bool open(std::string& error);
    // The whole text into the temporary file (created first when open() was not called).
    bool write(std::string_view text, std::string& error);
    // For a writer that takes a file name (a picture): it writes temporary().
    bool writeWith(const std::function<bool(const std::string& name)>& writer);
    // Renames the temporary file over `path`.
    bool commit(std::string& error);

private:
    std::filesystem::path path_, temporary_;
    std::FILE* file_ = nullptr;
    bool made_ = false;  // the temporary file is this one's to remove
};

}  // namespace sim
