#include "common/Paths.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vsdl::paths {

char Separator(Style style) {
    return style == Style::Windows ? '\\' : '/';
}

bool IsSeparator(char c, Style style) {
    return c == '/' || (style == Style::Windows && c == '\\');
}

bool EndsWithSeparator(std::string_view folder) {
    return !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
}

SplitPath Split(std::string_view path, Style style) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1], style)) {
            return {std::string(path.substr(0, i)), std::string(path.substr(i))};
        }
    }
    return {std::string(), std::string(path)};
}

std::string Join(std::string_view folder, std::string_view name, Style style) {
    std::string result = WithTrailingSeparator(folder, style);
    result.append(name);
    return result;
}

std::string WithTrailingSeparator(std::string_view folder, Style style) {
    std::string result(folder);
    if (!EndsWithSeparator(folder)) result.push_back(Separator(style));
    return result;
}

bool HasBinExtension(std::string_view name) {
    return name.size() >= 4 && ToUpper(name.substr(name.size() - 4)) == ".BIN";
}

// ASCII only: std::toupper follows the user's locale and would change bytes of UTF-8 names
// (in a Latin-1 locale 0xE9 becomes 0xC9).
std::string ToUpper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return result;
}

std::string ToLower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return result;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ToLower(a) == ToLower(b);
}

#ifdef _WIN32
namespace {

std::wstring Widen(std::string_view text, UINT codePage, DWORD flags) {
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), n);
    return wide;
}

}  // namespace
#endif

std::filesystem::path ToFsPath(std::string_view text) {
#ifdef _WIN32
    // Our text is UTF-8; bytes that are not (a name typed in the ANSI code page) are read in
    // that code page rather than refused: std::filesystem would throw on them.
    if (text.empty()) return {};
    std::wstring wide = Widen(text, CP_UTF8, MB_ERR_INVALID_CHARS);
    if (wide.empty()) wide = Widen(text, CP_ACP, 0);
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(std::string(text));
#endif
}

std::string FromFsPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::wstring& wide = path.native();
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), n, nullptr, nullptr);
    return text;
#else
    return path.string();
#endif
}

std::string ExecutableFolder() {
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer)) return {};
    const std::filesystem::path exe(std::wstring(buffer, n));
    return WithTrailingSeparator(FromFsPath(exe.parent_path()));
#else
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return WithTrailingSeparator(FromFsPath(exe.parent_path()));
#endif
}

}  // namespace vsdl::paths
