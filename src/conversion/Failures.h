// The conversion's failure catalogue and the texts that end a run.
#pragma once

#include <string>
#include <string_view>

#include "conversion/ConvertResult.h"

namespace vsdl::conversion {

// The numbers are stable: they reach users in messages and support notes.
enum class Failure : int {
    CannotOpenBin = 1,
    CannotReadLength = 2,
    BinTooLarge = 3,
    CannotReadBin = 4,
    InvalidStartTime = 5,
    InvalidEndTime = 6,
    CannotCreatePrn = 7,
    CannotCreateCsv = 8,
    CannotWritePrn = 9,
    CannotWriteCsv = 10,
    Overflow = 11,
    InvalidBinName = 12,
};

// Plain description of a failure, e.g. "Invalid start date or time".
std::string_view FailureDescription(Failure failure);

// "Error N. description. VSDownload\r\nThis BIN file is corrupted."
std::string FailureMessage(Failure failure);

// A failed conversion's result.
ConvertResult FailedResult(Failure failure, std::string outputName);

inline constexpr std::string_view kCompletedText =
    "The conversion has completed.  Your ASCII file is: ";
inline constexpr std::string_view kCorruptText = "This BIN is corrupt";
// What every front end says of a BIN file's name without the .BIN extension.
inline constexpr std::string_view kBinNameText = "Your filename must end in .BIN";
inline constexpr std::string_view kExportedText = "The export has completed.  Your file is: ";

}  // namespace vsdl::conversion
