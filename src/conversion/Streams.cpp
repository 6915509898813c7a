#include "conversion/Streams.h"

#include <algorithm>
#include <cstring>

#include "conversion/Digits.h"

namespace vsdl::conversion {

bool MemorySource::Read(std::uint8_t* out, std::size_t max, std::size_t& got) {
    got = std::min(max, size_ - pos_);
    if (got != 0) std::memcpy(out, data_ + pos_, got);
    pos_ += got;
    return true;
}

bool StringSink::Write(const char* data, std::size_t size) {
    text.append(data, size);
    return true;
}

bool FileSource::Read(std::uint8_t* out, std::size_t max, std::size_t& got) {
    got = std::fread(out, 1, max, in_);
    return got == max || std::ferror(in_) == 0;
}

bool FileSink::Write(const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, out_) == size;
}

BufferedReader::BufferedReader(ByteSource& source, std::int64_t length)
    : source_(source), length_(length), buffer_(kStreamBufferSize) {}

bool BufferedReader::GetAcrossBuffers(std::uint8_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        if (next_ == end_ && !Refill()) return false;
        out[i] = buffer_[next_++];
        ++position_;
    }
    return true;
}

bool BufferedReader::Refill() {
    if (AtEnd() || failed_) return false;
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), length_ - position_));
    std::size_t got = 0;
    if (!source_.Read(buffer_.data(), wanted, got)) {
        failed_ = true;
        return false;
    }
    if (got == 0) {
        // The file became shorter while it was read: that is where it ends now.
        length_ = position_;
        return false;
    }
    next_ = 0;
    end_ = got;
    return true;
}

BufferedWriter::BufferedWriter(TextSink& sink) : sink_(sink), buffer_(kStreamBufferSize) {}

void BufferedWriter::Line(std::string_view text, std::string_view value, std::string_view tail) {
    char* out = Reserve(text.size() + value.size() + tail.size() + 2);
    out = digits::Put(out, text);
    out = digits::Put(out, value);
    out = digits::Put(out, tail);
    Commit(digits::PutCrLf(out));
}

void BufferedWriter::Flush() {
    if (used_ != 0 && !failed_ && !sink_.Write(buffer_.data(), used_)) failed_ = true;
    used_ = 0;
}

}  // namespace vsdl::conversion
