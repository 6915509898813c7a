// What the conversion reads from and writes to: a byte source and two text sinks (files in the
// program, memory in tests and the fuzz target), and the buffered reader and writer over them,
// so that the virtual calls happen per buffer and not per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vsdl::conversion {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `max` bytes into `out`, setting `got` (0 at the end). False on a read error.
    virtual bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) = 0;
};

class TextSink {
  public:
    virtual ~TextSink() = default;
    // Writes all `size` bytes; false on a write error.
    virtual bool Write(const char* data, std::size_t size) = 0;
};

class MemorySource : public ByteSource {
  public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class StringSink : public TextSink {
  public:
    bool Write(const char* data, std::size_t size) override;
    std::string text;
};

// A file opened by the caller, read as it is (a short read is the end unless the stream failed).
class FileSource : public ByteSource {
  public:
    explicit FileSource(std::FILE* in) : in_(in) {}
    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override;

  private:
    std::FILE* in_;
};

// A file opened by the caller; unbuffered is best, as BufferedWriter hands over whole blocks.
class FileSink : public TextSink {
  public:
    explicit FileSink(std::FILE* out) : out_(out) {}
    bool Write(const char* data, std::size_t size) override;

  private:
    std::FILE* out_;
};

inline constexpr std::size_t kStreamBufferSize = 64 * 1024;

// Sequential, buffered reading of `length` bytes; Position() counts every byte handed out.
class BufferedReader {
  public:
    BufferedReader(ByteSource& source, std::int64_t length);

    bool AtEnd() const { return position_ >= length_; }
    bool failed() const { return failed_; }
    std::int64_t Position() const { return position_; }

    // Reads `count` bytes; false at the end of the file (or on a read error, see failed()).
    bool Get(std::uint8_t* out, int count) {
        const auto n = static_cast<std::size_t>(count);
        if (end_ - next_ < n) return GetAcrossBuffers(out, count);
        // The whole record is in the buffer: one copy. Records are a few bytes: copied in a
        // loop, which a checked memcpy call (with _FORTIFY_SOURCE) would cost more than.
        const std::uint8_t* from = buffer_.data() + next_;
        for (std::size_t i = 0; i < n; ++i) out[i] = from[i];
        next_ += n;
        position_ += count;
        return true;
    }

  private:
    bool GetAcrossBuffers(std::uint8_t* out, int count);
    bool Refill();

    ByteSource& source_;
    std::int64_t length_;
    std::int64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    bool failed_ = false;
};

// Buffered text output; a failed write is remembered and checked by the caller.
class BufferedWriter {
  public:
    explicit BufferedWriter(TextSink& sink);

    // Room for `size` more characters; Commit(end) takes what was written up to `end`.
    char* Reserve(std::size_t size) {
        if (buffer_.size() - used_ < size) Flush();
        return buffer_.data() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

    // One line: the pieces side by side, then CR LF.
    void Line(std::string_view text, std::string_view value = {}, std::string_view tail = {});

    void Flush();
    bool failed() const { return failed_; }

  private:
    TextSink& sink_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

}  // namespace vsdl::conversion
