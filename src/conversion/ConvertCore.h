// The conversion of a BIN image into its PRN report and CSV file, on streams: RunConversion wraps
// it with files; the tests and the fuzz target drive it directly with memory. It reports its
// progress through a callback and keeps no program-wide state.
#pragma once

#include <cstdint>
#include <string>

#include "conversion/ConvertResult.h"
#include "conversion/Streams.h"

namespace vsdl::conversion {

// Converts the BIN image `bin` of `binLength` bytes into `prn` and `csv`. Calls `progress` (when
// set) after every record. `prnName` goes into the completion
// message. Every buffered line is handed to the sinks before it returns, also after a failure.
ConvertResult ConvertImage(ByteSource& bin, std::int64_t binLength, TextSink& prn, TextSink& csv,
                           const std::string& prnName, const ConvertProgress& progress = {});

}  // namespace vsdl::conversion
