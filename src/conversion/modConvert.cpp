#include "conversion/modConvert.h"

#include <cstdio>
#include <limits>
#include <optional>

#include "common/FileOps.h"
#include "common/Paths.h"
#include "common/modGlobals.h"
#include "conversion/ConvertCore.h"

// Every field is taken with a truncating division by a power of two and a mask; for byte
// inputs nothing can overflow.

void Unpack2Byte(std::int16_t b1, std::int16_t b2, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading) {
    Negative = static_cast<std::int16_t>((b1 / 16) & 1);
    Decimals = static_cast<std::int16_t>((b1 / 4) & 3);
    Reading = static_cast<std::int16_t>((b1 & 3) * 256 + b2);
}

void Unpack3Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t& TempTenths,
                 std::int16_t& Fahrenheit, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading) {
    TempTenths = static_cast<std::int16_t>(b1 * 4 + b2 / 64);
    Fahrenheit = static_cast<std::int16_t>((b2 / 32) & 1);
    Unpack2Byte(b2, b3, Negative, Decimals, Reading);
}

namespace {

void UnpackStamp(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t& Hour, std::int16_t& Minute, std::int16_t& Second,
                 std::int16_t& Month, std::int16_t& Day, std::int16_t& YearOffset) {
    Hour = static_cast<std::int16_t>(b1 / 8);
    Minute = static_cast<std::int16_t>((b1 & 7) * 8 + b2 / 32);
    Second = static_cast<std::int16_t>((b2 & 31) * 2 + b3 / 128);
    Month = static_cast<std::int16_t>((b3 / 8) & 15);
    Day = static_cast<std::int16_t>((b3 & 7) * 4 + b4 / 64);
    YearOffset = static_cast<std::int16_t>(b4 & 63);
}

}  // namespace

void Unpack6Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t& Hour, std::int16_t& Minute,
                 std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading) {
    UnpackStamp(b1, b2, b3, b4, Hour, Minute, Second, Month, Day, YearOffset);
    Unpack2Byte(b5, b6, Negative, Decimals, Reading);
}

void Unpack7Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t b7, std::int16_t& Hour,
                 std::int16_t& Minute, std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& TempTenths, std::int16_t& Fahrenheit,
                 std::int16_t& Negative, std::int16_t& Decimals, std::int16_t& Reading) {
    UnpackStamp(b1, b2, b3, b4, Hour, Minute, Second, Month, Day, YearOffset);
    Unpack3Byte(b5, b6, b7, TempTenths, Fahrenheit, Negative, Decimals, Reading);
}

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

ConvertResult Failed(Failure failure, const std::string& prnName) {
    ConvertResult result;
    result.outcome = ConvertOutcome::Failed;
    result.failureNumber = static_cast<int>(failure);
    result.message = FailureMessage(failure);
    result.prnName = prnName;
    return result;
}

}  // namespace

ConvertResult RunConversion(const std::string& folder, const std::string& binFileName,
                            const std::function<void()>& yield) {
    gFileLength = 0;
    gBytesRead = 0;
    if (binFileName.size() < 4) return Failed(Failure::InvalidBinName, {});
    const std::string base = paths::ToUpper(binFileName.substr(0, binFileName.size() - 4));
    const std::string prnName = base + ".PRN";
    // An empty folder is the current one: joining it would put the files in the root.
    const auto inFolder = [&folder](const std::string& name) {
        return folder.empty() ? name : paths::Join(folder, name);
    };
    const std::string binPath = inFolder(binFileName);
    gPrnFile = inFolder(prnName);
    gCsvFile = inFolder(base + ".CSV");

    // Only an ordinary file is read: a FIFO or a device would never end (or never begin).
    std::string reason;
    const fileops::FilePtr bin = fileops::OpenForReading(binPath, reason);
    if (!bin) return Failed(Failure::CannotOpenBin, prnName);
    const std::optional<std::int64_t> length = fileops::FileLength(bin.get());
    if (!length) return Failed(Failure::CannotReadLength, prnName);
    if (*length > std::numeric_limits<std::int32_t>::max()) {
        return Failed(Failure::BinTooLarge, prnName);
    }
    gFileLength = static_cast<std::int32_t>(*length);

    fileops::FilePtr prn = CreateOutput(gPrnFile);
    if (!prn) return Failed(Failure::CannotCreatePrn, prnName);
    fileops::FilePtr csv = CreateOutput(gCsvFile);
    if (!csv) return Failed(Failure::CannotCreateCsv, prnName);

    FileSource source(bin.get());
    FileSink prnSink(prn.get());
    FileSink csvSink(csv.get());
    ConvertResult result = ConvertImage(source, *length, prnSink, csvSink, prnName, yield);
    const bool prnClosed = CloseOutput(prn);
    const bool csvClosed = CloseOutput(csv);
    if (result.outcome != ConvertOutcome::Failed) {
        if (!prnClosed) return Failed(Failure::CannotWritePrn, prnName);
        if (!csvClosed) return Failed(Failure::CannotWriteCsv, prnName);
    }
    return result;
}

}  // namespace vsdl::conversion

void ConvertBINtoPRN(const std::string& folder, const std::string& binFileName,
                     ConvertNotifier& notifier) {
    const vsdl::conversion::ConvertResult result =
        vsdl::conversion::RunConversion(folder, binFileName, [&notifier] { notifier.Yield(); });
    notifier.ShowMessage(result.message);
}
