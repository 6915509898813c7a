// modConvert: decoding of the logger's packed records and conversion of a BIN memory image
// into its PRN report and CSV file. Standard library only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Record decoders: the record's bytes (0-255) in file order, then one output per field.
void Unpack2Byte(std::int16_t b1, std::int16_t b2, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading);
void Unpack3Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t& TempTenths,
                 std::int16_t& Fahrenheit, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading);
void Unpack6Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t& Hour, std::int16_t& Minute,
                 std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading);
void Unpack7Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t b7, std::int16_t& Hour,
                 std::int16_t& Minute, std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& TempTenths, std::int16_t& Fahrenheit,
                 std::int16_t& Negative, std::int16_t& Decimals, std::int16_t& Reading);

namespace vsdl::conversion {

// How a conversion ended.
enum class ConvertOutcome {
    Completed,  // every set converted, or the file ended: "The conversion has completed. ..."
    Corrupt,    // wrong marker: "This BIN is corrupt"
    Failed,     // "Error N. description. VSDownload\r\nThis BIN file is corrupted."
};

struct ConvertResult {
    ConvertOutcome outcome = ConvertOutcome::Completed;
    std::string message;    // the message box text for the user
    int failureNumber = 0;  // from the failure catalogue; 0 unless Failed
    std::string prnName;    // PRN file name without folder
};

// The core: converts folder + binFileName into the PRN and CSV files beside it, keeping
// gFileLength and gBytesRead current and calling `yield` (when set) after every record.
// Shows nothing; returns the outcome with the message the user is to see.
ConvertResult RunConversion(const std::string& folder, const std::string& binFileName,
                            const std::function<void()>& yield = {});

}  // namespace vsdl::conversion

// Where ConvertBINtoPRN shows its messages and lets the user interface breathe.
class ConvertNotifier {
  public:
    virtual ~ConvertNotifier() = default;
    // Shows one message to the user (a message box in the program, a line in vsdl).
    virtual void ShowMessage(const std::string& text) = 0;
    // Called after every record; the dialog lets its event loop run from here.
    virtual void Yield() {}
};

// The conversion as the dialog calls it: runs RunConversion and shows its message.
void ConvertBINtoPRN(const std::string& folder, const std::string& binFileName,
                     ConvertNotifier& notifier);
