// Arbitrary byte streams into the download state machine: besides not crashing, it stores only
// bytes of the stream, in their order and without gaps in the file, says a checksum error once,
// and counts what it stored. (What it stores and sends for each kind of stream is the protocol
// test's table.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "download/DownloadProtocol.h"

namespace {

using vsdl::download::DownloadControl;
using vsdl::download::DownloadProtocol;

class Capture final : public vsdl::download::ProtocolOutput {
  public:
    void SendByte(std::uint8_t b) override { sent.push_back(b); }
    void RestartFile() override { file.clear(); }
    void WriteData(std::int64_t position, const std::vector<std::uint8_t>& data) override {
        if (data.size() > 1024 || position < 1) std::abort();
        const auto at = static_cast<std::size_t>(position - 1);
        if (at != file.size()) std::abort();  // always appended, never a gap or an overlap
        file.insert(file.end(), data.begin(), data.end());
    }
    void CloseFile() override {}
    void SetInstructions(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void AddListLine(const std::string& line) override {
        if (line.empty()) std::abort();
        for (char c : line) {
            if (vsdl::download::kPrintableSet.find(c) == std::string_view::npos) std::abort();
        }
    }
    void ShowMessage(const std::string&) override { ++messages; }

    std::vector<std::uint8_t> sent, file;
    int messages = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses whether idle passes (with the clock standing still) come between
    // the bytes: they must change nothing.
    const bool idlePasses = (data[0] & 1) != 0;
    ++data;
    --size;

    DownloadControl control;
    Capture out;
    DownloadProtocol protocol(control, out);
    const DownloadProtocol::Clock::time_point now{};
    protocol.Start(now);
    for (std::size_t i = 0; i < size && !protocol.ShouldExit(); ++i) {
        protocol.OnByte(data[i], now);
        if (idlePasses) protocol.OnIdle(now);
    }
    protocol.Finish();

    // What is stored came from the line in its order, only checksum bytes left out between.
    std::size_t at = 0;
    for (std::uint8_t b : out.file) {
        while (at < size && data[at] != b) ++at;
        if (at++ >= size) std::abort();
    }
    if (protocol.Completed() && protocol.ChecksumFailed()) std::abort();
    if (out.messages != (protocol.ChecksumFailed() ? 1 : 0)) std::abort();
    if (protocol.BytesWritten() != static_cast<std::int64_t>(out.file.size())) std::abort();
    return 0;
}
