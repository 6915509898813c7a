#include "terminal/CommandLine.h"

#include <algorithm>
#include <iostream>

#include <CLI/CLI.hpp>

#include "terminal/ExitCodes.h"

namespace vsdl::tool {

int ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    const long long value = std::stoll(text);
    return value > 1'000'000'000LL ? -1 : static_cast<int>(value);
}

CommandLine::CommandLine(std::string command, std::string usage, void (*help)())
    : command_(std::move(command)), usage_(std::move(usage)), help_(help), app_("", command_) {
    // Our own help texts, not CLI11's generated ones.
    app_.set_help_flag();
    app_.add_flag("-h,--help", helpAsked_);
    // What CLI11 does not know is collected and said in our own words below.
    app_.allow_extras();
    // An option given twice: the last one counts, as with most Unix tools.
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

std::optional<int> CommandLine::Parse(const std::vector<std::string>& args) {
    // CLI11 takes the arguments from the back.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app_.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        // "-o: 1 required TEXT missing": the option's name is before the colon.
        const std::string what = e.what();
        if (helpAsked_) {
            help_();
            return kExitOk;
        }
        return Usage(what.substr(0, what.find(':')) + " needs a value");
    } catch (const CLI::ParseError& e) {
        if (helpAsked_) {
            help_();
            return kExitOk;
        }
        return Usage(e.what());
    }
    if (helpAsked_) {
        help_();
        return kExitOk;
    }
    for (const std::string& extra : app_.remaining()) {
        if (extra == "--") continue;
        if (extra.size() > 1 && extra[0] == '-') return Usage("unknown option '" + extra + "'");
        return Usage("unexpected argument '" + extra + "'");
    }
    return std::nullopt;
}

int CommandLine::Usage(const std::string& problem) const {
    std::cerr << "vsdl " << command_ << ": " << problem << "\n"
              << usage_ << "Try 'vsdl " << command_ << " --help' for more information.\n";
    return kExitUsage;
}

}  // namespace vsdl::tool
