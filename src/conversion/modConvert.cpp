#include "conversion/modConvert.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

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
    explicit FileSource(std::ifstream& in) : in_(in) {}
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override {
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(max));
        got = static_cast<std::size_t>(in_.gcount());
        if (in_.bad()) return false;
        if (in_.fail()) {
            // Short read: the end of the file. Clear the flag so a later call reports 0 bytes.
            if (!in_.eof()) return false;
            in_.clear();
        }
        return true;
    }

  private:
    std::ifstream& in_;
};

class FileSink : public TextSink {
  public:
    explicit FileSink(std::ofstream& out) : out_(out) {}
    bool Write(const char* data, std::size_t size) override {
        out_.write(data, static_cast<std::streamsize>(size));
        return static_cast<bool>(out_);
    }

  private:
    std::ofstream& out_;
};

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

    const std::filesystem::path binFsPath = paths::ToFsPath(binPath);
    std::ifstream bin(binFsPath, std::ios::binary);
    if (!bin.is_open()) return Failed(Failure::CannotOpenBin, prnName);
    std::error_code ec;
    const std::uintmax_t length = std::filesystem::file_size(binFsPath, ec);
    if (ec) return Failed(Failure::CannotReadLength, prnName);
    if (length > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max())) {
        return Failed(Failure::BinTooLarge, prnName);
    }
    gFileLength = static_cast<std::int32_t>(length);

    // Our own buffers do the buffering; the streams pass whole blocks straight through.
    std::ofstream prn;
    prn.rdbuf()->pubsetbuf(nullptr, 0);
    prn.open(paths::ToFsPath(gPrnFile), std::ios::binary | std::ios::trunc);
    if (!prn.is_open()) return Failed(Failure::CannotCreatePrn, prnName);
    std::ofstream csv;
    csv.rdbuf()->pubsetbuf(nullptr, 0);
    csv.open(paths::ToFsPath(gCsvFile), std::ios::binary | std::ios::trunc);
    if (!csv.is_open()) return Failed(Failure::CannotCreateCsv, prnName);

    FileSource source(bin);
    FileSink prnSink(prn);
    FileSink csvSink(csv);
    ConvertResult result =
        ConvertImage(source, static_cast<std::int64_t>(length), prnSink, csvSink, prnName, yield);
    prn.close();
    csv.close();
    if (result.outcome != ConvertOutcome::Failed) {
        if (prn.fail()) return Failed(Failure::CannotWritePrn, prnName);
        if (csv.fail()) return Failed(Failure::CannotWriteCsv, prnName);
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
