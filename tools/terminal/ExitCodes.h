// The exit codes of vsdl's commands, which vsdl-plot hands on as its own.
#pragma once

namespace vsdl::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

}  // namespace vsdl::tool
