// How a conversion ended and what it leaves its caller: below the core and every wrapper of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vsdl::conversion {

enum class ConvertOutcome {
    Completed,  // every set converted, or the file ended: "The conversion has completed. ..."
    Corrupt,    // wrong marker: "This BIN is corrupt"
    Failed,     // "Error N. description. VSDownload\r\nThis BIN file is corrupted."
};

struct ConvertResult {
    ConvertOutcome outcome = ConvertOutcome::Completed;
    std::string message;         // the message box text for the user
    int failureNumber = 0;       // from the failure catalogue; 0 unless Failed
    std::string outputName;      // the file written (PRN report or export), without folder
    std::int64_t bytesRead = 0;  // bytes of the BIN file read, headers included
    std::int64_t length = 0;     // the BIN file's length (0 when it could not be found out)
    bool outputExisted = false;  // an export refused: its file was there and was to be kept
    bool stopped = false;        // Failed because the caller asked it to stop
    // For the terminal, beside the window's fixed text: the file a failure to open, read,
    // create or write is about, and the system's reason when there is one.
    std::string failedPath;
    std::string reason;
};

// Called after every record with the bytes read so far and the BIN file's length (the final
// figures are in the result). The dialog moves its bar from here and lets its events run.
using ConvertProgress = std::function<void(std::int64_t bytesRead, std::int64_t length)>;

}  // namespace vsdl::conversion
