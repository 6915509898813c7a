#include "conversion/modConvert.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>

#include "common/AtomicFile.h"
#include "common/BinFormat.h"
#include "common/FileOps.h"
#include "common/Paths.h"
#include "common/modGlobals.h"
#include "conversion/ConvertCore.h"
#include "conversion/Failures.h"

namespace vsdl::conversion {

namespace {

// Our own buffers do the buffering; the stream passes whole blocks straight through.
fileops::FilePtr CreateOutput(const std::string& path, std::string& reason) {
    fileops::FilePtr file = fileops::CreateForWriting(path, reason);
    if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

// Closes an output file; false when its last bytes could not be written.
bool CloseOutput(fileops::FilePtr& file) {
    return std::fclose(file.release()) == 0;
}

}  // namespace

OpenedBin OpenBin(const std::string& path) {
    OpenedBin opened;
    // Only an ordinary file is read: a FIFO or a device would never end (or never begin).
    opened.file = fileops::OpenForReading(path, opened.reason);
    if (!opened.file) {
        opened.failure = Failure::CannotOpenBin;
        return opened;
    }
    const std::optional<std::int64_t> length = fileops::FileLength(opened.file.get());
    if (!length) {
        opened.failure = Failure::CannotReadLength;
    } else if (*length > std::numeric_limits<std::int32_t>::max()) {
        opened.failure = Failure::BinTooLarge;
    } else {
        opened.length = *length;
    }
    return opened;
}

ConvertResult OpenFailedResult(const OpenedBin& bin, const std::string& path,
                               std::string outputName) {
    ConvertResult result = FailedResult(*bin.failure, std::move(outputName));
    result.failedPath = path;
    result.reason = bin.reason;
    return result;
}

std::optional<bool> EndsWithEndMark(const std::string& path) {
    const OpenedBin bin = OpenBin(path);
    if (bin.failure) return std::nullopt;
    const auto size = static_cast<long>(binformat::kEndMark.size());
    if (bin.length < size) return false;
    std::array<std::uint8_t, binformat::kEndMark.size()> tail{};
    if (std::fseek(bin.file.get(), -size, SEEK_END) != 0 ||
        std::fread(tail.data(), 1, tail.size(), bin.file.get()) != tail.size()) {
        return std::nullopt;
    }
    return tail == binformat::kEndMark;
}

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

    const OpenedBin bin = OpenBin(paths.bin);
    if (bin.failure) return OpenFailedResult(bin, paths.bin, prnName);

    // A report cut off at any byte by Ctrl+C or a kill could end in a wrong number: it goes.
    // The signals wait until both files are made and known to the handler, so that one coming
    // as a file is made removes it too.
    fileops::FilePtr prn;
    fileops::FilePtr csv;
    std::optional<fileops::UnfinishedFile> prnUnfinished;
    std::optional<fileops::UnfinishedFile> csvUnfinished;
    std::string reason;
    {
        const fileops::EndingSignalsHeld held;
        prn = CreateOutput(paths.prn, reason);
        if (prn) {
            prnUnfinished.emplace(paths.prn);
            csv = CreateOutput(paths.csv, reason);
            if (csv) csvUnfinished.emplace(paths.csv);
        }
    }
    const auto failed = [&](Failure failure, const std::string& path) {
        ConvertResult result = FailedResult(failure, prnName);
        result.failedPath = path;
        result.reason = reason;
        return result;
    };
    if (!prn) return failed(Failure::CannotCreatePrn, paths.prn);
    if (!csv) return failed(Failure::CannotCreateCsv, paths.csv);

    FileSource source(bin.file.get());
    FileSink prnSink(prn.get());
    FileSink csvSink(csv.get());
    ConvertResult result = ConvertImage(source, bin.length, prnSink, csvSink, prnName, progress);
    errno = 0;
    const bool prnClosed = CloseOutput(prn);
    const bool csvClosed = CloseOutput(csv);
    if (result.outcome != ConvertOutcome::Failed && (!prnClosed || !csvClosed)) {
        reason = fileops::ErrorText(errno, "");
        ConvertResult written = prnClosed ? failed(Failure::CannotWriteCsv, paths.csv)
                                          : failed(Failure::CannotWritePrn, paths.prn);
        written.bytesRead = result.bytesRead;
        written.length = result.length;
        return written;
    }
    if (result.failureNumber == static_cast<int>(Failure::CannotReadBin)) {
        result.failedPath = paths.bin;
    }
    return result;
}

std::string ExportPathFor(const std::string& binPath, ExportFormat format) {
    const paths::SplitPath split = paths::Split(binPath);
    std::string base = split.name;
    if (paths::HasBinExtension(base)) base.resize(base.size() - 4);
    return split.folder + base + std::string(ExportExtension(format));
}

std::string_view ExportExtension(ExportFormat format) {
    switch (format) {
        case ExportFormat::Json:
            return ".tidy.json";
        case ExportFormat::Jsonl:
            return ".tidy.jsonl";
        case ExportFormat::Xlsx:
            return ".xlsx";
        case ExportFormat::Csv:
            break;
    }
    return ".tidy.csv";
}

bool ExportIsKept(const ExportResult& exported) {
    // Nothing is kept of a file that is no BIN image at all, nor of a stopped export.
    return exported.outcome != ConvertOutcome::Corrupt && !exported.writeFailed &&
           !exported.stopped;
}

ConvertResult RunExportWith(const std::string& binPath, const std::string& outPath,
                            const ExportFileWriter& write) {
    const std::string outName = paths::Split(outPath).name;
    const OpenedBin bin = OpenBin(binPath);
    if (bin.failure) return OpenFailedResult(bin, binPath, outName);
    // The save dialog lets a user pick any name: the table must not replace the image it is
    // read from.
    if (fileops::SameFile(outPath, binPath)) {
        ConvertResult refused;
        refused.outcome = ConvertOutcome::Failed;
        refused.message = fileops::NotWrittenText("The file " + outPath, fileops::kIsTheBinFile);
        refused.outputName = outName;
        return refused;
    }

    FileSource source(bin.file.get());
    ExportResult exported;
    const fileops::Result written = write(source, bin.length, exported);
    ConvertResult result;
    if (exported.stopped) {
        result.outcome = ConvertOutcome::Failed;
        result.stopped = true;
        result.message = "The export was stopped; " + outName + " was not written.";
    } else if (exported.outcome == ConvertOutcome::Failed && !exported.writeFailed) {
        result = FailedResult(exported.failure, outName);
    } else if (exported.outcome == ConvertOutcome::Corrupt) {
        result.outcome = ConvertOutcome::Corrupt;
        result.message = std::string(kCorruptText);
    } else if (!written.ok) {
        result.outcome = ConvertOutcome::Failed;
        result.outputExisted = written.existed;
        result.message = fileops::NotWrittenText(
            "The file " + outPath, exported.reason.empty() ? written.reason : exported.reason);
    } else {
        result.message = std::string(kExportedText) + outName;
    }
    result.outputName = outName;
    result.bytesRead = exported.bytesRead;
    result.length = bin.length;
    return result;
}

ConvertResult RunExport(const std::string& binPath, const std::string& outPath, ExportFormat format,
                        const ConvertProgress& progress, bool replaceExisting, const bool* stop) {
    return RunExportWith(
        binPath, outPath, [&](ByteSource& source, std::int64_t length, ExportResult& exported) {
            return fileops::ReplaceFileContents(
                outPath,
                [&](std::FILE* out) {
                    std::setvbuf(out, nullptr, _IONBF, 0);
                    FileSink sink(out);
                    exported = ExportImage(source, length, sink, format, progress, stop);
                    return ExportIsKept(exported);
                },
                replaceExisting ? fileops::Existing::Replace : fileops::Existing::Keep);
        });
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
