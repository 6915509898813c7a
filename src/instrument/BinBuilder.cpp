#include "instrument/BinBuilder.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "conversion/HeaderTexts.h"
#include "conversion/RunningTime.h"

namespace vsdl::instrument::sample {

using conversion::IntervalFor;
using conversion::RunningTime;

std::vector<std::uint8_t> PackRecord(int length, const RecordFields& f) {
    std::vector<std::uint8_t> out;
    const auto byte = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    if (length == 6 || length == 7) {
        const std::uint32_t word = (static_cast<std::uint32_t>(f.hour & 31) << 27) |
                                   (static_cast<std::uint32_t>(f.minute & 63) << 21) |
                                   (static_cast<std::uint32_t>(f.second & 63) << 15) |
                                   (static_cast<std::uint32_t>(f.month & 15) << 11) |
                                   (static_cast<std::uint32_t>(f.day & 31) << 6) |
                                   static_cast<std::uint32_t>(f.yearOffset & 63);
        out.push_back(byte(static_cast<int>(word >> 24)));
        out.push_back(byte(static_cast<int>(word >> 16)));
        out.push_back(byte(static_cast<int>(word >> 8)));
        out.push_back(byte(static_cast<int>(word)));
    }
    const int tail = ((f.negative & 1) << 4) | ((f.decimals & 3) << 2) | ((f.reading >> 8) & 3);
    if (length == 3 || length == 7) {
        const int temp = f.tempTenths & 1023;
        out.push_back(byte(temp >> 2));
        out.push_back(byte(((temp & 3) << 6) | ((f.fahrenheit & 1) << 5) | tail));
    } else {
        out.push_back(byte(tail));
    }
    out.push_back(byte(f.reading));
    return out;
}

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::invalid_argument(what);
}

struct SetState {
    std::size_t headerOffset = 0;
    SetHeader header;
    RunningTime clock;
    bool clockValid = false;
    bool hasRecord = false;
    RunningTime last;
};

void PatchEnd(std::vector<std::uint8_t>& out, const SetState& set) {
    if (!set.header.endAtLastRecord) return;
    std::array<int, 6> end = set.header.start;
    if (set.hasRecord) {
        end = {set.last.month(), set.last.day(),    set.last.year() % 100,
               set.last.hour(),  set.last.minute(), set.last.second()};
    }
    for (std::size_t i = 0; i < 6; ++i) {
        out[set.headerOffset + 7 + i] = static_cast<std::uint8_t>(end[i] & 0xFF);
    }
}

}  // namespace

std::vector<std::uint8_t> Build(const Image& image) {
    std::vector<std::uint8_t> out(image.marker.begin(), image.marker.end());
    if (image.hasSetCount) out.push_back(static_cast<std::uint8_t>(image.setCount & 0xFF));
    const bool timed = image.marker == binformat::kTimedMark;
    std::optional<SetState> set;
    for (const Item& item : image.items) {
        if (const auto* header = std::get_if<SetHeader>(&item)) {
            if (set) PatchEnd(out, *set);
            set.emplace();
            set->header = *header;
            set->headerOffset = out.size();
            const auto& s = header->start;
            set->clockValid = set->clock.Set(s[0] % 100, s[1] % 100, s[2] % 100, s[3] % 100,
                                             s[4] % 100, s[5] % 100);
            out.push_back(static_cast<std::uint8_t>(header->number & 0xFF));
            for (int v : header->start) out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            for (int v : header->end) out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            out.push_back(static_cast<std::uint8_t>(header->interval & 0xFF));
            out.push_back(static_cast<std::uint8_t>(header->temperature & 0xFF));
            out.push_back(static_cast<std::uint8_t>(header->method & 0xFF));
            out.push_back(static_cast<std::uint8_t>(header->unit & 0xFF));
        } else if (const auto* record = std::get_if<Record>(&item)) {
            if (!set) Fail("a record before the first set header");
            if (record->stamped) {
                const auto& t = record->stamp;
                if (!set->clock.SetFull(t[2], t[0], t[1], t[3], t[4], t[5])) {
                    Fail("a record time stamp that is no valid date and time");
                }
                set->clockValid = true;
            }
            const bool needsClock = (timed && !record->stamped) || set->header.endAtLastRecord;
            if (needsClock && !set->clockValid) {
                Fail("records after a start time that is no valid date and time");
            }
            RecordFields f;
            f.hour = set->clock.hour();
            f.minute = set->clock.minute();
            f.second = set->clock.second();
            f.month = set->clock.month();
            f.day = set->clock.day();
            f.yearOffset = set->clock.year() - 1990;
            if (timed && (f.yearOffset < 0 || f.yearOffset > 63)) {
                Fail("a record year outside 1990-2053");
            }
            f.tempTenths = record->tempTenths;
            f.fahrenheit = record->fahrenheit ? 1 : 0;
            f.negative = record->negative ? 1 : 0;
            f.decimals = record->decimals;
            f.reading = record->reading;
            const int length = (timed ? 6 : 2) + (set->header.temperature != 0 ? 1 : 0);
            const std::vector<std::uint8_t> bytes = PackRecord(length, f);
            out.insert(out.end(), bytes.begin(), bytes.end());
            set->hasRecord = true;
            set->last = set->clock;
            if (set->clockValid && !set->clock.Add(IntervalFor(set->header.interval).seconds)) {
                Fail("the records run past the year 9999");
            }
        } else {
            const auto& raw = std::get<RawBytes>(item);
            out.insert(out.end(), raw.bytes.begin(), raw.bytes.end());
        }
    }
    if (set) PatchEnd(out, *set);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Description

namespace {

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

int Number(const std::string& text, int base = 10) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || ptr != end) Fail("'" + text + "' is no number");
    return value;
}

int Byte(const std::string& text, int base = 10) {
    const int value = Number(text, base);
    if (value < 0 || value > 255) Fail("'" + text + "' is no byte value");
    return value;
}

// "mm/dd/yy" and "hh:mm:ss" into month, day, year, hour, minute, second.
std::array<int, 6> Time(const std::vector<std::string>& words, std::size_t at) {
    if (words.size() != at + 2) Fail("expected mm/dd/yy hh:mm:ss");
    std::array<int, 6> t{};
    const auto three = [&](const std::string& text, char sep, std::size_t first) {
        const std::size_t a = text.find(sep);
        const std::size_t b = a == std::string::npos ? a : text.find(sep, a + 1);
        if (b == std::string::npos) Fail("'" + text + "' is no time");
        t[first] = Number(text.substr(0, a));
        t[first + 1] = Number(text.substr(a + 1, b - a - 1));
        t[first + 2] = Number(text.substr(b + 1));
    };
    three(words[at], '/', 0);
    three(words[at + 1], ':', 3);
    return t;
}

void Reading(const std::string& text, Record& r) {
    std::string digits = text;
    r.negative = !digits.empty() && digits[0] == '-';
    if (r.negative) digits.erase(0, 1);
    const std::size_t point = digits.find('.');
    r.decimals = 0;
    if (point != std::string::npos) {
        r.decimals = static_cast<int>(digits.size() - point - 1);
        digits.erase(point, 1);
    }
    if (digits.empty()) Fail("'" + text + "' is no reading");
    r.reading = Number(digits);
    if (r.reading < 0 || r.reading > 1023 || r.decimals > 3) {
        Fail("'" + text + "' is no reading (0-1023 with up to 3 decimals)");
    }
}

void Temperature(const std::string& text, Record& r) {
    std::string t = text;
    r.fahrenheit = t.size() > 2 && t.compare(t.size() - 2, 2, "/F") == 0;
    if (r.fahrenheit) t.resize(t.size() - 2);
    const std::size_t point = t.find('.');
    if (t.empty() || t.back() != 'C' || point == std::string::npos || point + 3 != t.size()) {
        Fail("'" + text + "' is no temperature like 25.3C or 25.3C/F");
    }
    r.tempTenths = Number(t.substr(0, point)) * 10 + Number(t.substr(point + 1, 1));
    if (r.tempTenths < 0 || r.tempTenths > 1023) Fail("'" + text + "' is out of 0.0-102.3");
}

void Walk(const std::vector<std::string>& w, std::vector<Item>& items) {
    if (w.size() < 3) Fail("expected walk COUNT VALUE [TEMP] [seed N]");
    const int count = Number(w[1]);
    Record r;
    Reading(w[2], r);
    bool withTemp = false;
    std::uint32_t seed = 1;
    for (std::size_t i = 3; i < w.size(); ++i) {
        if (w[i] == "seed" && i + 1 < w.size()) {
            seed = static_cast<std::uint32_t>(Number(w[++i]));
        } else {
            Temperature(w[i], r);
            withTemp = true;
        }
    }
    int value = r.negative ? -r.reading : r.reading;
    std::uint32_t state = seed;
    const auto draw = [&state](int spread) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) % static_cast<std::uint32_t>(2 * spread + 1)) -
               spread;
    };
    for (int i = 0; i < count; ++i) {
        r.negative = value < 0;
        r.reading = std::abs(value);
        items.push_back(r);
        value = std::clamp(value + draw(2), -1023, 1023);
        if (withTemp) r.tempTenths = std::clamp(r.tempTenths + draw(1), 0, 1023);
    }
}

}  // namespace

Image Parse(std::string_view description) {
    Image image;
    image.items.clear();
    std::optional<std::array<int, 6>> nextStamp;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= description.size()) {
        std::size_t eol = description.find('\n', pos);
        if (eol == std::string_view::npos) eol = description.size();
        std::string_view line = description.substr(pos, eol - pos);
        pos = eol + 1;
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        const std::vector<std::string> w = Words(line);
        if (w.empty()) continue;
        try {
            const std::string& key = w[0];
            SetHeader* header =
                image.items.empty() ? nullptr : std::get_if<SetHeader>(&image.items.back());
            const auto headerField = [&]() -> SetHeader& {
                if (header == nullptr) Fail("'" + key + "' belongs right after a 'set' line");
                if (w.size() != 2 && key != "start" && key != "end") Fail("expected one value");
                return *header;
            };
            if (key == "marker" && w.size() == 2 && w[1] == "timed") {
                image.marker = binformat::kTimedMark;
            } else if (key == "marker" && w.size() == 2 && w[1] == "untimed") {
                image.marker = binformat::kUntimedMark;
            } else if (key == "marker" && w.size() == 4) {
                for (std::size_t i = 0; i < 3; ++i) {
                    image.marker[i] = static_cast<std::uint8_t>(Byte(w[i + 1], 16));
                }
            } else if (key == "setcount" && w.size() == 2) {
                image.setCount = Byte(w[1]);
            } else if (key == "set" && w.size() == 2) {
                SetHeader h;
                h.number = Byte(w[1]);
                image.items.push_back(h);
            } else if (key == "start") {
                headerField().start = Time(w, 1);
            } else if (key == "end") {
                SetHeader& h = headerField();
                h.endAtLastRecord = w.size() == 2 && w[1] == "last";
                if (!h.endAtLastRecord) h.end = Time(w, 1);
            } else if (key == "interval") {
                headerField().interval = Byte(w[1]);
            } else if (key == "temperature") {
                headerField().temperature = Byte(w[1]);
            } else if (key == "method") {
                headerField().method = Byte(w[1]);
            } else if (key == "unit") {
                headerField().unit = Byte(w[1]);
            } else if (key == "reading" && (w.size() == 2 || w.size() == 3)) {
                Record r;
                Reading(w[1], r);
                if (w.size() == 3) Temperature(w[2], r);
                if (nextStamp) {
                    r.stamped = true;
                    r.stamp = *nextStamp;
                    nextStamp.reset();
                }
                image.items.push_back(r);
            } else if (key == "walk") {
                const std::size_t first = image.items.size();
                Walk(w, image.items);
                if (nextStamp && first < image.items.size()) {
                    auto& r = std::get<Record>(image.items[first]);
                    r.stamped = true;
                    r.stamp = *nextStamp;
                    nextStamp.reset();
                }
            } else if (key == "at") {
                std::array<int, 6> t = Time(w, 1);
                if (t[2] < 100) t[2] += t[2] < 30 ? 2000 : 1900;
                nextStamp = t;
            } else if (key == "bytes" && w.size() >= 2) {
                RawBytes raw;
                for (std::size_t i = 1; i < w.size(); ++i) {
                    raw.bytes.push_back(static_cast<std::uint8_t>(Byte(w[i], 16)));
                }
                image.items.push_back(raw);
            } else if (key == "trailer" && w.size() == 1) {
                image.items.push_back(RawBytes{{kEndMark.begin(), kEndMark.end()}});
            } else {
                Fail("cannot read '" + std::string(line) + "'");
            }
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument("line " + std::to_string(lineNumber) + ": " + e.what());
        }
    }
    return image;
}

}  // namespace vsdl::instrument::sample
