#include "common/BinFormat.h"

#include "common/Paths.h"

namespace vsdl::binformat {

std::string ReportName(std::string_view binFileName, std::string_view extension) {
    const std::string_view base = binFileName.substr(0, binFileName.size() - 4);
    return paths::ToUpper(base) + std::string(extension);
}

}  // namespace vsdl::binformat
