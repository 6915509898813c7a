// Program-wide variables shared between the main window, the dialogs and the conversion.
// Everything runs on the one user-interface thread, so none of them needs a lock.
#pragma once

#include <cstdint>
#include <string>

// 1 download only, 2 conversion only, 3 download then conversion.
extern std::int16_t gRunMode;
// Full path of the last BIN file downloaded or converted; empty when there is none.
extern std::string gLastBinPath;
// The overwrite question: the file that exists, and the answer "Y" or "N".
extern std::string gOverwriteFileName;
extern std::string gOverwriteAnswer;
// Progress of the running conversion: the BIN file's length and the bytes read so far.
extern std::int32_t gFileLength;
extern std::int32_t gBytesRead;
// Full paths of the report files of the running conversion.
extern std::string gPrnFile;
extern std::string gCsvFile;

namespace modGlobals {
// Puts every variable back to its start-up value (used by tests between cases).
void Reset();
}  // namespace modGlobals
