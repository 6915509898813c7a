// modConvert: decoding of the logger's packed records (Unpack.h) and the conversion of a BIN
// memory image file into its PRN report and CSV file. Standard library only.
#pragma once

#include <string>

#include "conversion/ConvertResult.h"
#include "conversion/Unpack.h"

namespace vsdl::conversion {

// Where the conversion of folder + binFileName writes: beside the BIN file, with the upper-cased
// base name. An empty folder is the current one.
struct ReportPaths {
    std::string bin, prn, csv;
    std::string prnName;  // without folder, for the completion message
};
ReportPaths ReportPathsFor(const std::string& folder, const std::string& binFileName);

// Converts folder + binFileName into the PRN and CSV files beside it, calling `progress` (when
// set) after every record. Shows nothing and touches no program-wide variable; returns the
// outcome with the message the user is to see.
ConvertResult RunConversion(const std::string& folder, const std::string& binFileName,
                            const ConvertProgress& progress = {});

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

// The conversion as the dialog calls it: runs RunConversion, keeps gPrnFile, gCsvFile,
// gFileLength and gBytesRead (which the dialog's bar reads) current, and shows its message.
void ConvertBINtoPRN(const std::string& folder, const std::string& binFileName,
                     ConvertNotifier& notifier);
