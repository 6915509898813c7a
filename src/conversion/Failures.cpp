#include "conversion/Failures.h"

#include "common/AppInfo.h"

namespace vsdl::conversion {

std::string_view FailureDescription(Failure failure) {
    switch (failure) {
        case Failure::CannotOpenBin:
            return "Cannot open the BIN file";
        case Failure::CannotReadLength:
            return "Cannot read the length of the BIN file";
        case Failure::BinTooLarge:
            return "The BIN file is too large to convert";
        case Failure::CannotReadBin:
            return "Cannot read the BIN file";
        case Failure::InvalidStartTime:
            return "Invalid start date or time";
        case Failure::InvalidEndTime:
            return "Invalid end date or time";
        case Failure::CannotCreatePrn:
            return "Cannot create the PRN file";
        case Failure::CannotCreateCsv:
            return "Cannot create the CSV file";
        case Failure::CannotWritePrn:
            return "Cannot write the PRN file";
        case Failure::CannotWriteCsv:
            return "Cannot write the CSV file";
        case Failure::Overflow:
            return "Overflow of the logging time";
        case Failure::InvalidBinName:
            return "The BIN file name has no extension";
    }
    return "Unknown failure";
}

std::string FailureMessage(Failure failure) {
    std::string text = "Error ";
    text += std::to_string(static_cast<int>(failure));
    text += ". ";
    text += FailureDescription(failure);
    text += ". ";
    text += appinfo::kProgramName;
    text += "\r\nThis BIN file is corrupted.";
    return text;
}

ConvertResult FailedResult(Failure failure, std::string outputName) {
    ConvertResult result;
    result.outcome = ConvertOutcome::Failed;
    result.failureNumber = static_cast<int>(failure);
    result.message = FailureMessage(failure);
    result.outputName = std::move(outputName);
    return result;
}

}  // namespace vsdl::conversion
