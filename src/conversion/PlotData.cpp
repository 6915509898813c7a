#include "conversion/PlotData.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>
#include <utility>

#include "common/Paths.h"
#include "conversion/Failures.h"
#include "conversion/RecordTexts.h"
#include "conversion/modConvert.h"

namespace vsdl::conversion {

double SecondsSinceEpoch(const CalendarTime& t) {
    using namespace std::chrono;
    const sys_days days = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                         day{static_cast<unsigned>(t.day)}};
    return static_cast<double>(days.time_since_epoch().count()) * 86400.0 + t.hour * 3600.0 +
           t.minute * 60.0 + t.second;
}

namespace {

// The calendar's first and last second (years 1 to 9999).
constexpr double kFirstSecond = -62135596800.0;
constexpr double kLastSecond = 253402300799.0;
constexpr double kDay = 86400.0;
// 1970-01-05, a Monday: week steps start on Mondays.
constexpr double kFirstMonday = 4 * kDay;

struct Civil {
    int year, month, day, hour, minute, second;
};

Civil CivilOf(double t) {
    using namespace std::chrono;
    const sys_seconds at{seconds{static_cast<long long>(std::floor(t))}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss clock{at - day};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

// The first second of month `month0` counted from January of year 0.
double MonthStart(long long month0) {
    using namespace std::chrono;
    const sys_days days = year_month_day{year{static_cast<int>(month0 / 12)},
                                         month{static_cast<unsigned>(month0 % 12 + 1)}, day{1}};
    return static_cast<double>(days.time_since_epoch().count()) * kDay;
}

std::string Label(double t, double step, bool monthSteps, bool crossesDay, bool crossesYear) {
    const Civil c = CivilOf(t);
    char text[32];
    if (monthSteps) {
        if (step >= 12) {
            std::snprintf(text, sizeof text, "%04d", c.year);
        } else {
            std::snprintf(text, sizeof text, "%04d-%02d", c.year, c.month);
        }
        return text;
    }
    if (step >= kDay) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", c.year, c.month, c.day);
        return text;
    }
    char* at = text;
    const auto room = [&] { return sizeof text - static_cast<std::size_t>(at - text); };
    if (crossesYear) {
        at += std::snprintf(at, room(), "%04d-%02d-%02d ", c.year, c.month, c.day);
    } else if (crossesDay) {
        at += std::snprintf(at, room(), "%02d-%02d ", c.month, c.day);
    }
    if (step >= 60) {
        std::snprintf(at, room(), "%02d:%02d", c.hour, c.minute);
    } else {
        std::snprintf(at, room(), "%02d:%02d:%02d", c.hour, c.minute, c.second);
    }
    return text;
}

}  // namespace

std::vector<TimeTick> TimeTicks(double from, double to, int wanted) {
    std::vector<TimeTick> ticks;
    wanted = std::clamp(wanted, 1, kMostTimeTicks);
    from = std::max(from, kFirstSecond);
    to = std::min(to, kLastSecond);
    if (!(to > from)) return ticks;  // also NaN
    const double span = to - from;
    const Civil first = CivilOf(from), last = CivilOf(to);
    const bool crossesYear = first.year != last.year;
    const bool crossesDay = std::floor(from / kDay) != std::floor(to / kDay);

    constexpr double kSeconds[] = {1,     2,     5,     10,   15,       30,       60,
                                   120,   300,   600,   900,  1800,     3600,     7200,
                                   10800, 21600, 43200, kDay, 2 * kDay, 7 * kDay, 14 * kDay};
    for (double step : kSeconds) {
        if (span / step >= wanted) continue;  // at most `wanted` ticks
        const double offset = step >= 7 * kDay ? kFirstMonday : 0.0;
        for (double t = std::ceil((from - offset) / step) * step + offset; t <= to; t += step) {
            ticks.push_back({t, Label(t, step, false, crossesDay, crossesYear)});
        }
        return ticks;
    }
    // Months, then years: steps of whole months from the 1st of a month.
    constexpr long long kMonths[] = {1,   2,    3,    6,    12,    24,    60,    120,   240,
                                     600, 1200, 2400, 6000, 12000, 24000, 60000, 120000};
    const long long firstMonth = first.year * 12LL + first.month - 1;
    const long long lastMonth = last.year * 12LL + last.month - 1;
    for (long long step : kMonths) {
        // Ticks at the months that are multiples of the step, from the first 1st in the span.
        long long month = (firstMonth + step - 1) / step * step;
        if (MonthStart(month) < from) month += step;
        if ((lastMonth - month) / step + 1 > wanted) continue;
        for (; month <= lastMonth; month += step) {
            const double t = MonthStart(month);
            if (t > to) break;
            ticks.push_back({t, Label(t, static_cast<double>(step), true, false, false)});
        }
        return ticks;
    }
    return ticks;
}

std::string PlotSet::Label() const {
    std::string label = "Set " + std::to_string(number) + ": " + method + ", " + interval;
    if (!unit.empty()) label += ", " + unit;
    return label + ", " + start + " - " + end;
}

void ThinnedSeries::Reset(double spanStart, double spanLength, int columns) {
    raw_.clear();
    slices_.clear();
    spanStart_ = spanStart;
    spanLength_ = std::max(spanLength, 1.0);
    columns_ = columns;
}

void ThinnedSeries::Add(double time, double value) {
    if (thinned()) {
        AddToSlice({time, value});
        return;
    }
    raw_.push_back({time, value});
    if (raw_.size() <= 2 * static_cast<std::size_t>(columns_)) return;
    slices_.resize(static_cast<std::size_t>(columns_));
    for (const PlotPoint& p : raw_) AddToSlice(p);
    raw_.clear();
    raw_.shrink_to_fit();
}

void ThinnedSeries::AddToSlice(const PlotPoint& p) {
    const double at = (p.time - spanStart_) / spanLength_ * columns_;
    const auto index = static_cast<std::size_t>(std::clamp(at, 0.0, columns_ - 1.0));
    Slice& s = slices_[index];
    if (!s.used) {
        s = {true, p, p};
        return;
    }
    if (p.value < s.low.value) s.low = p;
    if (p.value > s.high.value) s.high = p;
}

std::vector<PlotPoint> ThinnedSeries::Take() {
    if (!thinned()) return std::exchange(raw_, {});
    std::vector<PlotPoint> points;
    for (const Slice& s : slices_) {
        if (!s.used) continue;
        // Lowest and highest in the order they were recorded; one point when they are one.
        const bool lowFirst = s.low.time <= s.high.time;
        points.push_back(lowFirst ? s.low : s.high);
        if (s.low.time != s.high.time || s.low.value != s.high.value) {
            points.push_back(lowFirst ? s.high : s.low);
        }
    }
    slices_.clear();
    return points;
}

std::vector<PlotPoint> TemperaturesIn(const PlotPoints& points, bool fahrenheit) {
    const std::vector<PlotPoint>& own = fahrenheit ? points.fahrenheit : points.celsius;
    const std::vector<PlotPoint>& other = fahrenheit ? points.celsius : points.fahrenheit;
    std::vector<PlotPoint> converted;
    converted.reserve(other.size());
    for (const PlotPoint& p : other) {
        converted.push_back(
            {p.time, fahrenheit ? p.value * 9.0 / 5.0 + 32.0 : (p.value - 32.0) * 5.0 / 9.0});
    }
    if (converted.empty()) return own;
    std::vector<PlotPoint> all;
    all.reserve(own.size() + converted.size());
    std::merge(own.begin(), own.end(), converted.begin(), converted.end(), std::back_inserter(all),
               [](const PlotPoint& a, const PlotPoint& b) { return a.time < b.time; });
    return all;
}

bool PlotCollector::DataSet(const DataSetHeader& h) {
    FinishSet();
    PlotSet set;
    set.number = h.number;
    set.index = static_cast<int>(sets_.size());
    set.method = std::string(h.method);
    set.interval = std::string(h.interval);
    set.unit = std::string(h.unit);
    char stamp[kStampLength];
    set.start.assign(stamp, PutStamp(stamp, h.startStamp));
    set.end.assign(stamp, PutStamp(stamp, h.endStamp));
    // Sets follow one another without gaps: a header of 17 bytes, then records of one length.
    set.recordsOffset = nextOffset_;
    set.recordLength = h.recordLength;
    set.timed = h.timed;
    set.intervalSeconds = h.intervalSeconds;
    const double end = SecondsSinceEpoch(h.end);
    const double start = h.startValid ? SecondsSinceEpoch(h.start) : end;
    set.startTime = start;
    set.sliceWidth = std::max(end - start, 1.0) / columns_;
    sets_.push_back(std::move(set));
    for (ThinnedSeries* series : {&readings_, &celsius_, &fahrenheit_, &outOfRange_}) {
        series->Reset(start, end - start, columns_);
    }
    return true;
}

bool PlotCollector::Record(const DecodedRecord& r) {
    if (stop_ != nullptr && *stop_) return false;
    if (sets_.empty()) return true;
    PlotSet& set = sets_.back();
    ++set.records;
    if (!r.inRange) ++set.outOfRange;
    if (!IsValidTime(r.when)) {
        ++set.timeless;
        set.ordered = false;
        return true;
    }
    const double time = SecondsSinceEpoch(r.when);
    if (set.records - set.timeless == 1) set.firstTime = set.lastTime = time;
    if (time < set.lastTime) set.ordered = false;
    set.firstTime = std::min(set.firstTime, time);
    set.lastTime = std::max(set.lastTime, time);
    if (r.inRange) {
        readings_.Add(time, r.Reading());
    } else {
        outOfRange_.Add(time, 0.0);
    }
    if (r.hasTemperature) {
        ++(r.fahrenheit ? set.fahrenheitRecords : set.celsiusRecords);
        (r.fahrenheit ? fahrenheit_ : celsius_).Add(time, r.Temperature());
    }
    return true;
}

void PlotCollector::FinishSet() {
    if (sets_.empty()) return;
    PlotSet& set = sets_.back();
    set.thinned =
        readings_.thinned() || celsius_.thinned() || fahrenheit_.thinned() || outOfRange_.thinned();
    if (!set.thinned) set.sliceWidth = 0;
    set.readings = readings_.Take();
    set.celsius = celsius_.Take();
    set.fahrenheit = fahrenheit_.Take();
    for (const PlotPoint& p : outOfRange_.Take()) set.outOfRangeTimes.push_back(p.time);
    nextOffset_ = set.recordsOffset + set.records * set.recordLength + 17;
}

std::vector<PlotSet> PlotCollector::TakeSets() {
    FinishSet();
    return std::move(sets_);
}

namespace {

// One set's records from `first` to `last` (indexes) as an image of their own: the image's
// marker, a set count that ends the decoding after one set, the set's own header, then the
// records, so that the decoder reads them exactly as it read the whole image.
class SpanSource final : public ByteSource {
  public:
    SpanSource(std::FILE* file, const PlotSet& set) : file_(file), set_(set) {}

    // Positions at record `first`; false when the file cannot be read there.
    bool Start(std::int64_t first, std::int64_t last) {
        prefix_.assign(3 + 1 + 17, 0);
        if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fread(prefix_.data(), 1, 3, file_) != 3 ||
            std::fseek(file_, static_cast<long>(set_.recordsOffset - 17), SEEK_SET) != 0 ||
            std::fread(prefix_.data() + 4, 1, 17, file_) != 17 ||
            std::fseek(file_, static_cast<long>(set_.recordsOffset + first * set_.recordLength),
                       SEEK_SET) != 0) {
            return false;
        }
        prefix_[3] = 0;  // cycle logging: one set
        given_ = 0;
        left_ = (last - first + 1) * set_.recordLength;
        return true;
    }
    std::int64_t Length() const { return static_cast<std::int64_t>(prefix_.size()) + left_; }

    bool Read(std::uint8_t* out, std::size_t max, std::size_t& got) override {
        got = 0;
        if (given_ < prefix_.size()) {
            got = std::min(max, prefix_.size() - given_);
            std::copy_n(prefix_.data() + given_, got, out);
            given_ += got;
            return true;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(max), left_));
        if (want == 0) return true;
        got = std::fread(out, 1, want, file_);
        left_ -= static_cast<std::int64_t>(got);
        return got == want;
    }

  private:
    std::FILE* file_;
    const PlotSet& set_;
    std::vector<std::uint8_t> prefix_;
    std::size_t given_ = 0;
    std::int64_t left_ = 0;
};

// One record as a span needs it.
struct SpanRecord {
    bool timeless = false;
    double time = 0;
    bool inRange = true;
    double reading = 0;
    bool hasTemperature = false, fahrenheit = false;
    double temperature = 0;
};

// The decoder's reader of a span: hands every record with its time to `take`.
template <typename Take>
class SpanReader final : public DecodeReader {
  public:
    SpanReader(const PlotSet& set, std::int64_t first, Take take)
        : set_(set), first_(first), take_(std::move(take)) {}
    bool DataSet(const DataSetHeader&) override { return true; }
    bool NextDataSet() override { return true; }
    bool Record(const DecodedRecord& r) override {
        SpanRecord record;
        if (set_.timed) {
            record.timeless = !IsValidTime(r.when);
            if (!record.timeless) record.time = SecondsSinceEpoch(r.when);
        } else {
            record.time =
                set_.startTime + static_cast<double>(first_ + r.counter - 1) * set_.intervalSeconds;
        }
        record.inRange = r.inRange;
        if (r.inRange) record.reading = r.Reading();
        record.hasTemperature = r.hasTemperature;
        if (r.hasTemperature) {
            record.fahrenheit = r.fahrenheit;
            record.temperature = r.Temperature();
        }
        return take_(record);
    }

  private:
    const PlotSet& set_;
    std::int64_t first_;
    Take take_;
};

// Decodes records `first` to `last` of `set`; false when they cannot be read.
template <typename Take>
bool ReadRecords(std::FILE* file, const PlotSet& set, std::int64_t first, std::int64_t last,
                 Take take) {
    SpanSource source(file, set);
    if (!source.Start(first, last)) return false;
    SpanReader<Take> reader(set, first, std::move(take));
    const DecodeResult decoded = Decode(source, source.Length(), reader);
    return decoded.outcome == ConvertOutcome::Completed ||
           (decoded.outcome == ConvertOutcome::Failed && decoded.readerStopped);
}

// The first record of an ordered timed set whose time is at or after `time` (or, `after`,
// past it): a binary search on the stamps. -1 when a record cannot be read.
std::int64_t FindTime(std::FILE* file, const PlotSet& set, double time, bool after) {
    std::int64_t low = 0, high = set.records;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        double stamp = 0;
        if (!ReadRecords(file, set, middle, middle, [&stamp](const SpanRecord& r) {
                stamp = r.time;
                return true;
            })) {
            return -1;
        }
        if (after ? stamp <= time : stamp < time) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

void AddPoints(PlotPoints& points, const SpanRecord& r) {
    if (r.inRange) points.readings.push_back({r.time, r.reading});
    if (r.hasTemperature) {
        (r.fahrenheit ? points.fahrenheit : points.celsius).push_back({r.time, r.temperature});
    }
}

}  // namespace

PlotSpan LoadPlotSpan(const std::string& binPath, const PlotSet& set, double from, double to,
                      int columns) {
    PlotSpan span;
    if (set.records == 0 || !(to >= from)) return span;
    const OpenedBin bin = OpenBin(binPath);
    if (bin.failure || bin.length < set.recordsOffset + set.records * set.recordLength) {
        span.error = "The file " + paths::Split(binPath).name +
                     " cannot be read again; it may have been changed or removed.";
        return span;
    }
    std::FILE* file = bin.file.get();
    // The records that may lie in the span, and one more on either side.
    std::int64_t first = 0, last = set.records - 1;
    if (!set.timed && set.intervalSeconds > 0) {
        const double interval = set.intervalSeconds;
        const double lastIndex = static_cast<double>(set.records - 1);
        first = static_cast<std::int64_t>(
            std::clamp(std::floor((from - set.startTime) / interval) - 1, 0.0, lastIndex));
        last = static_cast<std::int64_t>(
            std::clamp(std::ceil((to - set.startTime) / interval) + 1, 0.0, lastIndex));
    } else if (set.timed && set.ordered) {
        const std::int64_t begin = FindTime(file, set, from, false);
        const std::int64_t end = FindTime(file, set, to, true);
        if (begin < 0 || end < 0) {
            span.error = "The file " + paths::Split(binPath).name + " cannot be read again.";
            return span;
        }
        first = std::max<std::int64_t>(begin - 1, 0);
        last = std::min<std::int64_t>(end, set.records - 1);
    }

    ThinnedSeries readings, celsius, fahrenheit, outOfRange;
    for (ThinnedSeries* series : {&readings, &celsius, &fahrenheit, &outOfRange}) {
        series->Reset(from, to - from, std::max(columns, 1));
    }
    // The nearest records outside the span, drawn as they are.
    std::optional<SpanRecord> before, after;
    const bool read = ReadRecords(file, set, first, last, [&](const SpanRecord& r) {
        ++span.recordsRead;
        if (r.timeless) return true;
        if (r.time < from) {
            if (!before || r.time >= before->time) before = r;
        } else if (r.time > to) {
            if (!after || r.time < after->time) after = r;
        } else {
            if (r.inRange) {
                readings.Add(r.time, r.reading);
            } else {
                outOfRange.Add(r.time, 0.0);
            }
            if (r.hasTemperature) (r.fahrenheit ? fahrenheit : celsius).Add(r.time, r.temperature);
        }
        return true;
    });
    if (!read) {
        span.error = "The file " + paths::Split(binPath).name + " cannot be read again.";
        return span;
    }
    PlotPoints& points = span.points;
    if (before) AddPoints(points, *before);
    const auto append = [](std::vector<PlotPoint>& to, std::vector<PlotPoint> more) {
        to.insert(to.end(), more.begin(), more.end());
    };
    append(points.readings, readings.Take());
    append(points.celsius, celsius.Take());
    append(points.fahrenheit, fahrenheit.Take());
    for (const PlotPoint& p : outOfRange.Take()) points.outOfRangeTimes.push_back(p.time);
    if (after) AddPoints(points, *after);
    return span;
}

namespace {

std::vector<PlotPoint> VisibleSeries(const std::vector<PlotPoint>& all, double from, double to,
                                     int columns) {
    // A line scan: a set whose clock was reset is not in time order.
    ThinnedSeries thinned;
    thinned.Reset(from, to - from, std::max(columns, 1));
    const PlotPoint* before = nullptr;
    const PlotPoint* after = nullptr;
    for (const PlotPoint& p : all) {
        if (p.time < from) {
            if (before == nullptr || p.time >= before->time) before = &p;
        } else if (p.time > to) {
            if (after == nullptr || p.time < after->time) after = &p;
        } else {
            thinned.Add(p.time, p.value);
        }
    }
    std::vector<PlotPoint> shown;
    if (before != nullptr) shown.push_back(*before);
    for (const PlotPoint& p : thinned.Take()) shown.push_back(p);
    if (after != nullptr) shown.push_back(*after);
    return shown;
}

}  // namespace

PlotPoints VisiblePoints(const PlotPoints& points, double from, double to, int columns) {
    PlotPoints shown;
    shown.readings = VisibleSeries(points.readings, from, to, columns);
    shown.celsius = VisibleSeries(points.celsius, from, to, columns);
    shown.fahrenheit = VisibleSeries(points.fahrenheit, from, to, columns);
    for (double t : points.outOfRangeTimes) {
        if (t >= from && t <= to) shown.outOfRangeTimes.push_back(t);
    }
    return shown;
}

PlotData LoadPlotData(const std::string& binPath, int columns, const ConvertProgress& progress,
                      const bool* stop) {
    PlotData data;
    const std::string name = paths::Split(binPath).name;
    const OpenedBin bin = OpenBin(binPath);
    if (bin.failure) {
        data.status = OpenFailedResult(bin, binPath, name);
        return data;
    }
    FileSource source(bin.file.get());
    PlotCollector collector(columns, stop);
    const DecodeResult decoded = Decode(source, bin.length, collector, progress);
    data.sets = collector.TakeSets();
    data.status.outcome = decoded.outcome;
    data.status.bytesRead = decoded.bytesRead;
    data.status.length = bin.length;
    data.stopped = decoded.readerStopped;
    if (decoded.outcome == ConvertOutcome::Failed && !decoded.readerStopped) {
        data.status = FailedResult(decoded.failure, name);
    } else if (decoded.outcome == ConvertOutcome::Corrupt) {
        data.status.message = std::string(kCorruptText);
    }
    return data;
}

}  // namespace vsdl::conversion
