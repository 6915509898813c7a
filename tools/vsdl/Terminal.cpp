#include "Terminal.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vsdl::tool {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::string ForTerminal(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

paths::SplitPath SplitCommandLinePath(const std::string& path) {
    paths::SplitPath split = paths::Split(path);
    if (split.folder.empty()) split.folder.assign(1, '.');
    return split;
}

}  // namespace vsdl::tool
