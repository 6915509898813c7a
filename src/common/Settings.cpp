#include "common/Settings.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

#include "common/Paths.h"

namespace vsdl::settings {
namespace {

std::string ReadFileText(std::string_view file) {
    std::ifstream in(paths::ToFsPath(file), std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string FirstField(std::string_view content) {
    std::size_t i = 0;
    while (i < content.size() && IsBlank(content[i])) ++i;
    if (i < content.size() && content[i] == '"') {
        const std::size_t close = content.find('"', i + 1);
        return std::string(content.substr(i + 1, close == std::string_view::npos
                                                     ? std::string_view::npos
                                                     : close - i - 1));
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
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(value.data(), static_cast<std::streamsize>(value.size()));
            out.write("\r\n", 2);
            out.flush();
        }
        if (!out) {
            const int err = errno;
            result.ok = false;
            result.reason = err != 0 ? std::strerror(err) : "the file could not be written";
        }
    }
    if (!result.ok) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return result;
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        result.ok = false;
        result.reason = ec.message();
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
    }
    return result;
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
    double value = 0;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        digits = true;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value += (text[i] - '0') * scale;
            scale /= 10;
            digits = true;
            ++i;
        }
    }
    if (!digits) return std::nullopt;
    return negative ? -value : value;
}

std::int32_t PortNumberFromText(std::string_view text) {
    const std::optional<double> number = LeadingNumber(text);
    if (!number) return 0;
    const double rounded = std::nearbyint(*number);  // default rounding: halves to even
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max()) {
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
