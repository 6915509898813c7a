// vsdl convert [-q] [--jobs N] FILE.BIN|FOLDER...: the program's conversion, from the command
// line, one file after another or several at once.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Commands.h"
#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "conversion/Failures.h"
#include "conversion/modConvert.h"
#include "terminal/CommandLine.h"
#include "terminal/Terminal.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace vsdl::tool {
namespace {

constexpr const char* kUsage = "Usage: vsdl convert [-q] [--jobs N] FILE.BIN|FOLDER...\n";

// Each conversion in flight has its two reports known to the signal clean-up.
constexpr int kMaxJobs = static_cast<int>((fileops::kUnfinishedFilesAtOnce - 8) / 2);

// What one file's conversion says, kept until the files before it have said theirs.
struct FileOutcome {
    std::string out, err;
    bool ok = false;
};

// A file to convert, or a folder that gave none, whose outcome is known from the start.
struct Item {
    std::string file;
    bool folderProblem = false;
    FileOutcome outcome;
};

// The BIN files of `folder` (the extension in any letter case), in the order of their names;
// `error` says why the folder could not be read.
std::vector<std::string> BinFilesIn(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    fs::directory_iterator it(paths::ToFsPath(folder), ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::string name = paths::FromFsPath(it->path().filename());
        std::error_code kind;
        if (paths::HasBinExtension(name) && it->is_regular_file(kind)) {
            files.push_back(paths::Join(folder, name));
        }
    }
    if (ec) error = "Cannot read the folder " + folder + ": " + ec.message() + ".";
    std::sort(files.begin(), files.end());
    return files;
}

FileOutcome ConvertOne(const std::string& file, bool quiet, bool prefixErrors, bool progressLine) {
    FileOutcome outcome;
    // With several files, an error names the file it belongs to.
    const std::string errorPrefix = prefixErrors ? file + ":\n" : std::string();
    const paths::SplitPath split = SplitCommandLinePath(file);
    if (!paths::HasBinExtension(split.name)) {
        outcome.err = errorPrefix + std::string(conversion::kBinNameText) + "\n";
        return outcome;
    }
    ProgressLine progress(progressLine, "Converting " + split.name);
    const conversion::ConvertResult result = conversion::RunConversion(
        split.folder, split.name,
        [&progress](std::int64_t read, std::int64_t length) { progress.Tick(read, length); });
    progress.Clear();
    outcome.err = CutShortWarning(file, result);
    if (result.outcome == conversion::ConvertOutcome::Completed) {
        if (!quiet) outcome.out = ForTerminal(result.message) + "\n";
        outcome.ok = true;
    } else if (!result.failedPath.empty()) {
        // Names the file itself, as the user wrote its folder.
        conversion::ConvertResult named = result;
        if (named.failedPath.rfind("./", 0) == 0 && file.rfind("./", 0) != 0) {
            named.failedPath.erase(0, 2);
        }
        outcome.err += FailureText(named) + "\n";
    } else {
        outcome.err += errorPrefix + FailureText(result) + "\n";
    }
    return outcome;
}

// Converts the files of `items` on `jobs` threads, saying each outcome in the order of `items`
// as soon as it and the ones before it are done.
void ConvertAll(std::vector<Item>& items, int jobs, bool quiet) {
    std::vector<bool> done(items.size(), false);
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<std::size_t> next{0};
    const bool several = items.size() > 1;
    const bool progressLine = jobs == 1 && !quiet && IsTerminal(stderr);

    const auto work = [&] {
#ifndef _WIN32
        // A signal that ends the program is taken by the main thread, whose handler removes
        // the reports in progress of every thread.
        sigset_t ending;
        sigemptyset(&ending);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, sig);
        ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
#endif
        for (std::size_t i = next++; i < items.size(); i = next++) {
            if (items[i].folderProblem) continue;
            FileOutcome outcome = ConvertOne(items[i].file, quiet, several, progressLine);
            const std::lock_guard lock(mutex);
            items[i].outcome = std::move(outcome);
            done[i] = true;
            finished.notify_all();
        }
    };
    std::vector<std::jthread> workers;
    if (jobs > 1) {
        for (int j = 0; j < jobs; ++j) workers.emplace_back(work);
    }

    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].folderProblem) {
            // Known from the start.
        } else if (workers.empty()) {
            items[i].outcome = ConvertOne(items[i].file, quiet, several, progressLine);
        } else {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return done[i]; });
        }
        std::cout << items[i].outcome.out << std::flush;
        std::cerr << items[i].outcome.err << std::flush;
    }
}

}  // namespace

void HelpConvert() {
    std::cout
        << kUsage
        << "Converts each BIN memory image into its PRN report and CSV file, written beside it\n"
        << "with the upper-cased base name, as the program's conversion does. A FOLDER stands\n"
        << "for every BIN file in it (the extension in any letter case), in the order of their\n"
        << "names.\n\n"
        << "  -q          print nothing but errors and warnings\n"
        << "  --jobs N    converts N files at once (1 to " << kMaxJobs << "; default: the number\n"
        << "              of processors); the messages keep the order of the files\n\n"
        << "With more than one file a summary line ends the run. An image that does not end\n"
        << "with the end mark is converted as far as it goes, with a warning on stderr that it\n"
        << "may have been cut short.\n\n"
        << "Exit status: 0 when every file converted completely, 1 when any file was corrupt\n"
        << "or failed, 2 on a usage error.\n";
}

int RunConvert(const std::vector<std::string>& args) {
    CommandLine line("convert", kUsage, &HelpConvert);
    bool quiet = false;
    std::string jobsText;
    std::vector<std::string> givenItems;
    line.App().add_flag("-q", quiet);
    line.App().add_option("--jobs", jobsText);
    line.App().add_option("FILE", givenItems);
    if (const auto status = line.Parse(args)) return *status;
    if (givenItems.empty()) return line.Usage("no BIN file given");
    int jobs = static_cast<int>(
        std::clamp(std::thread::hardware_concurrency(), 1u, static_cast<unsigned>(kMaxJobs)));
    if (!jobsText.empty()) {
        const int asked = ParseCount(jobsText);
        if (asked < 1 || asked > kMaxJobs) {
            return line.Usage("--jobs needs a number from 1 to " + std::to_string(kMaxJobs) +
                              ", not '" + jobsText + "'");
        }
        jobs = asked;
    }

    // A folder stands for its BIN files.
    std::vector<Item> items;
    bool folderGiven = false;
    for (const std::string& given : givenItems) {
        std::error_code ec;
        if (!std::filesystem::is_directory(paths::ToFsPath(given), ec)) {
            items.push_back({.file = given, .folderProblem = false, .outcome = {}});
            continue;
        }
        folderGiven = true;
        std::string error;
        const std::vector<std::string> inFolder = BinFilesIn(given, error);
        if (!error.empty() || inFolder.empty()) {
            const std::string text = error.empty() ? given + " holds no BIN file." : error;
            items.push_back({.file = given,
                             .folderProblem = true,
                             .outcome = {.out = {}, .err = text + "\n", .ok = false}});
        }
        for (const std::string& file : inFolder)
            items.push_back({.file = file, .folderProblem = false, .outcome = {}});
    }
    const auto files = static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(), [](const Item& i) { return !i.folderProblem; }));
    jobs = std::min(jobs, static_cast<int>(std::max<std::size_t>(files, 1)));
    ConvertAll(items, jobs, quiet);
    const auto converted = static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(), [](const Item& i) { return i.outcome.ok; }));
    if ((files > 1 || folderGiven) && !quiet) {
        std::cout << "Converted " << converted << " of " << files << " BIN files"
                  << (converted < files ? "; " + std::to_string(files - converted) + " failed" : "")
                  << ".\n";
    }
    return converted == items.size() ? kExitOk : kExitFailed;
}

}  // namespace vsdl::tool
