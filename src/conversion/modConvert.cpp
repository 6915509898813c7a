#include "conversion/modConvert.h"

#include <cstdio>
#include <limits>
#include <optional>

#include "common/BinFormat.h"
#include "common/FileOps.h"
#include "common/Paths.h"
#include "common/modGlobals.h"
#include "conversion/ConvertCore.h"
#include "conversion/Failures.h"

namespace vsdl::conversion {

namespace {

class FileSource : public ByteSource {
  public:
    explicit FileSource(std::FILE* in) : in_(in) {}
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override {
        got = std::fread(out, 1, max, in_);
        // A short read is the end of the file, unless the stream says it failed.
        return got == max || std::ferror(in_) == 0;
    }

  private:
    std::FILE* in_;
};

class FileSink : public TextSink {
  public:
    explicit FileSink(std::FILE* out) : out_(out) {}
    bool Write(const char* data, std::size_t size) override {
        return std::fwrite(data, 1, size, out_) == size;
    }

  private:
    std::FILE* out_;
};

// Our own buffers do the buffering; the stream passes whole blocks straight through.
fileops::FilePtr CreateOutput(const std::string& path) {
    std::string reason;
    fileops::FilePtr file = fileops::CreateForWriting(path, reason);
    if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

// Closes an output file; false when its last bytes could not be written.
bool CloseOutput(fileops::FilePtr& file) {
    return std::fclose(file.release()) == 0;
}

}  // namespace

ReportPaths ReportPathsFor(const std::string& folder, const std::string& binFileName) {
    // An empty folder is the current one: joining it would put the files in the root.
    const auto inFolder = [&folder](const std::string& name) {
        return folder.empty() ? name : paths::Join(folder, name);
    };
    ReportPaths paths;
    paths.bin = inFolder(binFileName);
    if (binFileName.size() < 4) return paths;
    paths.prnName = binformat::ReportName(binFileName, ".PRN");
    paths.prn = inFolder(paths.prnName);
    paths.csv = inFolder(binformat::ReportName(binFileName, ".CSV"));
    return paths;
}

ConvertResult RunConversion(const std::string& folder, const std::string& binFileName,
                            const ConvertProgress& progress) {
    if (binFileName.size() < 4) return FailedResult(Failure::InvalidBinName, {});
    const ReportPaths paths = ReportPathsFor(folder, binFileName);
    const std::string& prnName = paths.prnName;

    // Only an ordinary file is read: a FIFO or a device would never end (or never begin).
    std::string reason;
    const fileops::FilePtr bin = fileops::OpenForReading(paths.bin, reason);
    if (!bin) return FailedResult(Failure::CannotOpenBin, prnName);
    const std::optional<std::int64_t> length = fileops::FileLength(bin.get());
    if (!length) return FailedResult(Failure::CannotReadLength, prnName);
    if (*length > std::numeric_limits<std::int32_t>::max()) {
        return FailedResult(Failure::BinTooLarge, prnName);
    }

    fileops::FilePtr prn = CreateOutput(paths.prn);
    if (!prn) return FailedResult(Failure::CannotCreatePrn, prnName);
    fileops::FilePtr csv = CreateOutput(paths.csv);
    if (!csv) return FailedResult(Failure::CannotCreateCsv, prnName);

    FileSource source(bin.get());
    FileSink prnSink(prn.get());
    FileSink csvSink(csv.get());
    ConvertResult result = ConvertImage(source, *length, prnSink, csvSink, prnName, progress);
    const bool prnClosed = CloseOutput(prn);
    const bool csvClosed = CloseOutput(csv);
    if (result.outcome != ConvertOutcome::Failed && (!prnClosed || !csvClosed)) {
        ConvertResult failed =
            FailedResult(prnClosed ? Failure::CannotWriteCsv : Failure::CannotWritePrn, prnName);
        failed.bytesRead = result.bytesRead;
        failed.length = result.length;
        return failed;
    }
    return result;
}

}  // namespace vsdl::conversion

void ConvertBINtoPRN(const std::string& folder, const std::string& binFileName,
                     ConvertNotifier& notifier) {
    using namespace vsdl::conversion;
    const ReportPaths paths = ReportPathsFor(folder, binFileName);
    gPrnFile = paths.prn;
    gCsvFile = paths.csv;
    gFileLength = 0;
    gBytesRead = 0;
    // Both figures fit: the conversion refuses a file longer than a 32-bit length.
    const auto keep = [](std::int64_t bytesRead, std::int64_t length) {
        gFileLength = static_cast<std::int32_t>(length);
        gBytesRead = static_cast<std::int32_t>(bytesRead);
    };
    const ConvertResult result = RunConversion(
        folder, binFileName, [&notifier, &keep](std::int64_t read, std::int64_t length) {
            keep(read, length);
            notifier.Yield();
        });
    keep(result.bytesRead, result.length);
    notifier.ShowMessage(result.message);
}
