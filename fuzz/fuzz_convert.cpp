// Runs the conversion on arbitrary bytes in memory: it must end with a result, whatever the
// bytes, without a crash, a hang or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
    std::int64_t lastRead = 0;
    const auto length = static_cast<std::int64_t>(size);
    const ConvertResult result =
        ConvertImage(source, length, prn, csv, "FUZZ.PRN", [&](std::int64_t read, std::int64_t of) {
            // The progress only grows, within the file.
            if (of != length || read < lastRead || read > length) std::abort();
            lastRead = read;
            ++records;
        });
    // What must hold for any input.
    if (result.length != length) std::abort();
    if (result.bytesRead < lastRead || result.bytesRead > length) std::abort();
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
