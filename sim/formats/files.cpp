#include "sim/formats/files.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace sim {

namespace {

// `what` and the reason of the error `why`, an errno read before anything could change it.
bool failed(std::string& error, int why, const std::string& what) {
    error = what + ": " + std::strerror(why);
    return false;
}

}  // namespace

std::string notARegularFile(const std::string& path) {
    std::error_code ec;
    const char* what = nullptr;
    switch (std::filesystem::status(path, ec).type()) {
        case std::filesystem::file_type::directory:
            what = "a folder";
            break;
        case std::filesystem::file_type::fifo:
            what = "a FIFO";
            break;
        case std::filesystem::file_type::character:
            what = "a character device";
            break;
        case std::filesystem::file_type::block:
            what = "a block device";
            break;
        case std::filesystem::file_type::socket:
            what = "a socket";
            break;
        case std::filesystem::file_type::regular:
        case std::filesystem::file_type::not_found:
        case std::filesystem::file_type::none:
            return {};
        default:
            return "it is not a regular file";
    }
    return std::string("it is ") + what + ", not a regular file";
}

std::optional<std::string> readFile(const std::string& path, std::string& error, std::string_view kind) {
    if (const std::string why = notARegularFile(path); !why.empty()) {
        error = path + ": cannot open" + std::string(kind) + ": " + why;
        return std::nullopt;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        const int why = errno;
        failed(error, why, path + ": cannot open" + std::string(kind));
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
        if (text.size() > kMaxFileSize) {
            std::fclose(file);
            error = path + ": cannot read" + std::string(kind) + ": larger than " +
                    std::to_string(kMaxFileSize >> 20) + " MiB";
            return std::nullopt;
        }
    }
    const int why = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (why != 0) {
        failed(error, why, path + ": cannot read" + std::string(kind));
        return std::nullopt;
    }
    // Every reader here splits lines at LF: a file of CR-only lines would read as one line,
    // and its messages would make no sense.
    size_t lineFeeds = 0, loneReturns = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') ++lineFeeds;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ++loneReturns;
    }
    if (loneReturns > lineFeeds) {
        error = path + ": cannot read" + std::string(kind) +
                ": its lines end in a carriage return (CR) alone; save it with LF or CR LF line ends";
        return std::nullopt;
    }
    return text;
}

std::string installedFile(std::string_view fromProgram) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const std::filesystem::path file = self.parent_path() / fromProgram;
    return std::filesystem::is_regular_file(file, ec) ? file.lexically_normal().string() : std::string();
}

ReplacingFile::ReplacingFile(std::filesystem::path path, std::string_view suffix)
    : path_(std::move(path)), temporary_(path_.string() + std::string(suffix)) {}

ReplacingFile::~ReplacingFile() {
    if (file_) std::fclose(file_);
    std::error_code ignored;
    if (made_) std::filesystem::remove(temporary_, ignored);
}

bool ReplacingFile::open(std::string& error) {
    file_ = std::fopen(temporary_.string().c_str(), "wb");
    if (!file_) {
        const int why = errno;
        return failed(error, why, temporary_.string() + ": cannot write");
    }
    made_ = true;
    return true;
}

bool ReplacingFile::write(std::string_view text, std::string& error) {
    if (!file_ && !open(error)) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file_) == text.size();
    int why = ok ? 0 : errno;
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        why = errno;
    }
    file_ = nullptr;
    return ok || failed(error, why, temporary_.string() + ": cannot write");
}

bool ReplacingFile::writeWith(const std::function<bool(const std::string& name)>& writer) {
    made_ = true;
    return writer(temporary_.string());
}

bool ReplacingFile::commit(std::string& error) {
    std::error_code ec;
    std::filesystem::rename(temporary_, path_, ec);
    if (ec) {
        error = path_.string() + ": cannot replace: " + ec.message();
        return false;
    }
    made_ = false;
    return true;
}

}  // namespace sim
