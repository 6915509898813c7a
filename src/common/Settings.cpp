#include "common/Settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/AtomicFile.h"
#include "common/FileOps.h"
#include "common/Paths.h"

namespace vsdl::settings {
namespace {

// A settings file holds one short line; reading stops well past any real path so that a
// wrong file chosen as a settings file cannot make the program read it whole.
constexpr std::size_t kMaxReadBytes = 64 * 1024;

// A missing, unreadable or not ordinary file (a FIFO would block the reader) reads as empty.
std::string ReadFileText(std::string_view file) {
    return fileops::ReadFileStart(file, kMaxReadBytes).value_or(std::string());
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
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

std::string LastBinValue(std::string_view content) {
    const std::string_view line = content.substr(0, content.find_first_of("\r\n"));
    std::size_t begin = 0;
    while (begin < line.size() && IsBlank(line[begin])) ++begin;
    if (begin < line.size() && line[begin] == '"') {
        const std::size_t close = line.find('"', begin + 1);
        return std::string(line.substr(begin + 1, close == std::string_view::npos
                                                      ? std::string_view::npos
                                                      : close - begin - 1));
    }
    std::size_t end = line.size();
    while (end > begin && IsBlank(line[end - 1])) --end;
    return std::string(line.substr(begin, end - begin));
}

std::string ReadSerialPortText(std::string_view settingsFolder) {
    return FirstField(ReadFileText(paths::Join(settingsFolder, kSerialPortFile)));
}

std::string ReadLastBinPath(std::string_view settingsFolder) {
    return LastBinValue(ReadFileText(paths::Join(settingsFolder, kLastBinFile)));
}

WriteResult WriteOneLine(std::string_view file, std::string_view value) {
    WriteResult result;
    result.path = std::string(file);
    const fileops::Result replaced = fileops::ReplaceFileContents(file, [value](std::FILE* out) {
        return std::fwrite(value.data(), 1, value.size(), out) == value.size() &&
               std::fwrite("\r\n", 1, 2, out) == 2;
    });
    result.ok = replaced.ok;
    result.reason = replaced.reason;
    return result;
}

std::string WriteFailureMessage(const WriteResult& result) {
    return fileops::NotWrittenText("The file " + result.path, result.reason);
}

WriteResult WriteSerialPort(std::string_view settingsFolder, std::int32_t port) {
    return WriteOneLine(paths::Join(settingsFolder, kSerialPortFile), std::to_string(port));
}

WriteResult WriteAnyPort(std::string_view settingsFolder) {
    return WriteOneLine(paths::Join(settingsFolder, kSerialPortFile), kAnyPort);
}

bool IsAnyPort(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return false;
    text.remove_prefix(first);
    text = text.substr(0, text.find_last_not_of(" \t") + 1);
    return paths::EqualsIgnoreCase(text, kAnyPort);
}

WriteResult WriteLastBinPath(std::string_view settingsFolder, std::string_view path) {
    return WriteOneLine(paths::Join(settingsFolder, kLastBinFile), path);
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

std::optional<std::int32_t> PortEntry(std::string_view text) {
    const std::int32_t port = PortNumberFromText(text);
    if (port < 1) return std::nullopt;
    return port;
}

}  // namespace vsdl::settings
