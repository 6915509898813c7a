#include "common/modGlobals.h"

std::int16_t gRunMode = 0;
std::string gLastBinPath;
std::string gOverwriteFileName;
std::string gOverwriteAnswer;
std::int32_t gFileLength = 0;
std::int32_t gBytesRead = 0;
std::string gPrnFile;
std::string gCsvFile;

namespace modGlobals {
void Reset() {
    gRunMode = 0;
    gLastBinPath.clear();
    gOverwriteFileName.clear();
    gOverwriteAnswer.clear();
    gFileLength = 0;
    gBytesRead = 0;
    gPrnFile.clear();
    gCsvFile.clear();
}
}  // namespace modGlobals
