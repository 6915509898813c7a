#include "common/Settings.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/Paths.h"

namespace vsdl::settings {
namespace {

// A settings file holds one short line; reading stops well past any real path so that a
// wrong file chosen as a settings file cannot make the program read it whole.
constexpr std::streamsize kMaxReadBytes = 64 * 1024;

std::string ReadFileText(std::string_view file) {
    std::ifstream in(paths::ToFsPath(file), std::ios::binary);
    if (!in) return {};
    std::string text(static_cast<std::size_t>(kMaxReadBytes), '\0');
    in.read(text.data(), kMaxReadBytes);
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::FILE* OpenForWriting(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

// Pushes the file's data to the disk, so that the rename below never makes an empty file the
// settings file after a power cut.
bool SyncToDisk(std::FILE* f) {
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return ::fsync(fileno(f)) == 0;
#endif
}

std::string Reason(int err) {
    return err != 0 ? std::string(std::strerror(err)) : std::string("unknown error");
}

// Writes value + CR LF to `temp`; the system's reason on failure, nullopt on success.
std::optional<std::string> WriteTemp(const std::filesystem::path& temp, std::string_view value) {
    errno = 0;
    FilePtr file(OpenForWriting(temp));
    if (!file) return Reason(errno);
    errno = 0;
    const bool written = std::fwrite(value.data(), 1, value.size(), file.get()) == value.size() &&
                         std::fwrite("\r\n", 1, 2, file.get()) == 2 &&
                         std::fflush(file.get()) == 0 && SyncToDisk(file.get());
    if (!written) return Reason(errno);
    errno = 0;
    if (std::fclose(file.release()) != 0) return Reason(errno);
    return std::nullopt;
}

}  // namespace

std::string FirstField(std::string_view content) {
    std::size_t i = 0;
    while (i < content.size() && IsBlank(content[i])) ++i;
    if (i < content.size() && content[i] == '"') {
        const std::size_t close = content.find_first_of("\"\r\n", i + 1);
        return std::string(
            content.substr(i + 1, close == std::string_view::npos ? close : close - i - 1));
    }
    const std::size_t end = content.find_first_of(",\r\n", i);
    std::string field(content.substr(i, end == std::string_view::npos ? end : end - i));
    while (!field.empty() && IsBlank(field.back())) field.pop_back();
    return field;
}

std::string FirstLine(std::string_view content) {
    const std::size_t end = content.find_first_of("\r\n");
    std::string_view line = content.substr(0, end);
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
        line = line.substr(1, line.size() - 2);
    }
    return std::string(line);
}

std::string ReadSerialPortText(std::string_view programFolder) {
    return FirstField(ReadFileText(paths::Join(programFolder, kSerialPortFile)));
}

std::string ReadLastBinPath(std::string_view programFolder) {
    return FirstLine(ReadFileText(paths::Join(programFolder, kLastBinFile)));
}

WriteResult WriteOneLine(std::string_view file, std::string_view value) {
    WriteResult result;
    result.path = std::string(file);
    const std::filesystem::path target = paths::ToFsPath(file);
    std::filesystem::path temp = target;
    temp += ".tmp";

    if (std::optional<std::string> reason = WriteTemp(temp, value)) {
        result.ok = false;
        result.reason = std::move(*reason);
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return result;
    }
    // The new file keeps the old one's permissions (a shared installation may have widened them).
    std::error_code ec;
    const std::filesystem::file_status old = std::filesystem::status(target, ec);
    if (!ec && std::filesystem::is_regular_file(old)) {
        std::filesystem::permissions(temp, old.permissions(), ec);
    }
    ec.clear();
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        result.ok = false;
        result.reason = ec.message();
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
    }
    return result;
}

std::string WriteFailureMessage(const WriteResult& result) {
    return "The file " + result.path + " could not be written.\n" + result.reason;
}

WriteResult WriteSerialPort(std::string_view programFolder, std::int32_t port) {
    return WriteOneLine(paths::Join(programFolder, kSerialPortFile), std::to_string(port));
}

WriteResult WriteLastBinPath(std::string_view programFolder, std::string_view path) {
    return WriteOneLine(paths::Join(programFolder, kLastBinFile), path);
}

std::optional<double> LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t digits = 0;
    const auto skipDigits = [&] {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    };
    skipDigits();
    const std::string_view whole = text.substr(start, i - start);
    if (i < text.size() && text[i] == '.') {
        ++i;
        skipDigits();
    }
    if (digits == 0) return std::nullopt;
    // from_chars reads the digits exactly and, unlike strtod, ignores the locale's decimal mark.
    double value = 0;
    const std::from_chars_result parsed =
        std::from_chars(text.data() + start, text.data() + i, value, std::chars_format::fixed);
    if (parsed.ec == std::errc::result_out_of_range) {
        // Too large for any port, or so small that it is 0.
        value = whole.find_first_not_of('0') != std::string_view::npos
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    } else if (parsed.ec != std::errc()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::int32_t PortNumberFromText(std::string_view text) {
    const std::optional<double> number = LeadingNumber(text);
    if (!number) return 0;
    const double rounded = std::nearbyint(*number);  // default rounding: halves to even
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    return static_cast<std::int32_t>(rounded);
}

std::optional<std::int32_t> ParsePortEntry(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    if (begin == end) return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace vsdl::settings
