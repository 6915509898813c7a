// vsdl plot FILE.BIN -o PICTURE.png|svg [--set N] [--size WxH] [--force] [-q]: the View Data
// window's chart, drawn without a display (its command line and help are in PlotArgs.cpp).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "Commands.h"
#include "common/Paths.h"
#include "terminal/PlotArgs.h"
#include "terminal/Terminal.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace vsdl::tool {

#ifndef VSDL_WITH_QT

int RunPlot(const std::vector<std::string>& args) {
    PlotArgs parsed;
    if (const auto status = ReadPlotArgs(args, parsed)) return *status;
    std::cerr << "vsdl plot: this vsdl was built without Qt, whose charts the plot draws with; "
                 "use the vsdl of the full build (see docs/WINDOWS.md).\n";
    return kExitFailed;
}

#else

namespace {

// Runs `program` with `args` in place of this process (on Windows: waits for it); its exit
// status, or -1 when it could not be started.
int RunInstead(const std::string& program, const std::vector<std::string>& args) {
#ifdef _WIN32
    // The spawned program splits its command line again: each argument is quoted by the rules
    // of CommandLineToArgvW (backslashes before a quote or the end are doubled).
    const auto quoted = [](const std::wstring& arg) {
        std::wstring out = L"\"";
        std::size_t backslashes = 0;
        for (wchar_t c : arg) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
            backslashes = 0;
            out.push_back(c);
        }
        out.append(2 * backslashes, L'\\');
        return out + L"\"";
    };
    std::vector<std::wstring> wide{quoted(paths::ToFsPath(program).wstring())};
    for (const std::string& a : args) wide.push_back(quoted(paths::ToFsPath(a).wstring()));
    std::vector<const wchar_t*> argv;
    for (const std::wstring& w : wide) argv.push_back(w.c_str());
    argv.push_back(nullptr);
    return static_cast<int>(_wspawnv(_P_WAIT, paths::ToFsPath(program).c_str(), argv.data()));
#else
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    return -1;
#endif
}

}  // namespace

// The drawing is done by vsdl-plot, beside vsdl (or, installed system-wide, in
// ../libexec/vsdownload/), which replaces this process with the same arguments once they are
// known to be right.
int RunPlot(const std::vector<std::string>& args) {
    PlotArgs parsed;
    if (const auto status = ReadPlotArgs(args, parsed)) return *status;
    const std::string folder = paths::ExecutableFolder();
#ifdef _WIN32
    const char* const kHelper = "vsdl-plot.exe";
#else
    const char* const kHelper = "vsdl-plot";
#endif
    std::vector<std::string> tried;
    for (const std::string& at :
         {paths::Join(folder, kHelper),
          paths::Join(paths::Join(paths::Join(folder, ".."), "libexec/vsdownload"), kHelper)}) {
        tried.push_back(at);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(paths::ToFsPath(at), ec)) continue;
        std::cout.flush();
        const int status = RunInstead(at, args);
        if (status >= 0) return status;
        std::cerr << "vsdl plot: " << at << " could not be started.\n";
        return kExitFailed;
    }
    std::cerr << "vsdl plot: its drawing part is missing (looked for " << tried[0] << " and "
              << tried[1] << "); reinstall VSDownload.\n";
    return kExitFailed;
}

#endif

}  // namespace vsdl::tool
