// Runs the conversion on arbitrary bytes in memory: it must end with a result, whatever the
// bytes, without a crash, a hang or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/modGlobals.h"
#include "conversion/ConvertCore.h"

namespace {

// Counts instead of storing: the reports of a large input would only cost memory.
class CountingSink : public vsdl::conversion::TextSink {
  public:
    bool Write(const char* data, std::size_t size) override {
        if (size != 0 && data == nullptr) std::abort();
        bytes += size;
        return true;
    }
    std::size_t bytes = 0;
};

}  // namespace

// Undefined behaviour is a finding like a crash: stop at the first report.
extern "C" const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vsdl::conversion;
    MemorySource source(data, size);
    CountingSink prn, csv;
    std::size_t records = 0;
    const ConvertResult result = ConvertImage(source, static_cast<std::int64_t>(size), prn, csv,
                                              "FUZZ.PRN", [&records] { ++records; });
    // What must hold for any input.
    if (gFileLength != static_cast<std::int32_t>(size)) std::abort();
    if (gBytesRead < 0 || gBytesRead > gFileLength) std::abort();
    if (records > size / 2) std::abort();  // a record is at least two bytes
    switch (result.outcome) {
        case ConvertOutcome::Completed:
            if (result.message.rfind("The conversion has completed.  ", 0) != 0) std::abort();
            break;
        case ConvertOutcome::Corrupt:
            if (prn.bytes != 0 || csv.bytes != 0) std::abort();
            break;
        case ConvertOutcome::Failed:
            if (result.failureNumber != 5 && result.failureNumber != 6) std::abort();
            break;
    }
    return 0;
}
