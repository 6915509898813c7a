// Splitting a path into folder and file name, and joining them again.
//
// The folder part keeps its trailing separator ("C:\LOGS\", "/home/lab/"), the name part holds
// no separator; a path without a separator has an empty folder. Joining puts the platform's
// separator between folder and name unless the folder already ends in one (either "\" or "/").
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vsdl::paths {

enum class Style { Windows, Posix };

#ifdef _WIN32
inline constexpr Style kNativeStyle = Style::Windows;
#else
inline constexpr Style kNativeStyle = Style::Posix;
#endif

// "\" for Windows, "/" elsewhere.
char Separator(Style style = kNativeStyle);

// Windows accepts both "\" and "/" as separators; POSIX only "/".
bool IsSeparator(char c, Style style = kNativeStyle);

// True when the folder ends in "\" or "/", whatever the style: a folder typed or stored
// with either separator must not get a second one.
bool EndsWithSeparator(std::string_view folder);

struct SplitPath {
    std::string folder;  // up to and including the last separator; may be empty
    std::string name;    // the rest
};

SplitPath Split(std::string_view path, Style style = kNativeStyle);

// folder + separator (unless folder already ends in one) + name.
std::string Join(std::string_view folder, std::string_view name, Style style = kNativeStyle);

// The folder with a trailing separator (unchanged when it already has one).
std::string WithTrailingSeparator(std::string_view folder, Style style = kNativeStyle);

// The file name's last four characters, upper-cased, equal ".BIN".
bool HasBinExtension(std::string_view name);

// ASCII letter-case helpers (file names here are compared without regard to case).
std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// A std::filesystem::path from our 8-bit/UTF-8 text, and back.
std::filesystem::path ToFsPath(std::string_view text);
std::string FromFsPath(const std::filesystem::path& path);

// The folder that holds the running executable, with a trailing separator; empty when it
// cannot be found out. Settings and the temporary download file live there.
std::string ExecutableFolder();

}  // namespace vsdl::paths
