// Small writers of text into a character buffer, shared by the record texts, the running time
// and the converter. Each returns the end of what it wrote; none writes a terminator.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vsdl::conversion::digits {

inline char* Put(char* out, std::string_view text) {
    // An empty view may have no data pointer at all; memcpy must not see it.
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// A text whose length is known when compiling: copied without a call.
template <std::size_t N>
inline char* PutFixed(char* out, const char* text) {
    std::memcpy(out, text, N);
    return out + N;
}

inline char* PutCrLf(char* out) {
    out[0] = '\r';
    out[1] = '\n';
    return out + 2;
}

// Decimal without leading zeros.
inline char* PutDecimal(char* out, std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

constexpr std::array<char, 200> MakeDigitPairs() {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}
inline constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

// Two digits of a value below 100.
inline char* PutPair(char* out, unsigned v) {
    std::memcpy(out, &kDigitPairs[2 * v], 2);
    return out + 2;
}

}  // namespace vsdl::conversion::digits
