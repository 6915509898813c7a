#include "conversion/PlotData.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

#include "common/Paths.h"
#include "conversion/Export.h"
#include "conversion/Failures.h"
#include "conversion/modConvert.h"

namespace vsdl::conversion {

double SecondsSinceEpoch(const CalendarTime& t) {
    using namespace std::chrono;
    const sys_days days = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                         day{static_cast<unsigned>(t.day)}};
    return static_cast<double>(days.time_since_epoch().count()) * 86400.0 + t.hour * 3600.0 +
           t.minute * 60.0 + t.second;
}

std::vector<TimeTick> TimeTicks(double from, double to, int wanted) {
    std::vector<TimeTick> ticks;
    if (!(to > from) || wanted < 1) return ticks;
    constexpr double kSteps[] = {1,          2,          5,          10,          15,
                                 30,         60,         120,        300,         600,
                                 900,        1800,       3600,       7200,        10800,
                                 21600,      43200,      86400,      2 * 86400,   7 * 86400,
                                 14 * 86400, 30 * 86400, 91 * 86400, 182 * 86400, 365 * 86400};
    double step = kSteps[std::size(kSteps) - 1];
    for (double s : kSteps) {
        if ((to - from) / s <= wanted) {
            step = s;
            break;
        }
    }
    using namespace std::chrono;
    for (double t = std::ceil(from / step) * step; t <= to; t += step) {
        const sys_seconds at{seconds{static_cast<long long>(t)}};
        const sys_days day = floor<days>(at);
        const year_month_day date{day};
        const hh_mm_ss clock{at - day};
        char text[24];
        const int y = static_cast<int>(date.year()),
                  mo = static_cast<int>(static_cast<unsigned>(date.month())),
                  d = static_cast<int>(static_cast<unsigned>(date.day()));
        const int h = static_cast<int>(clock.hours().count()),
                  mi = static_cast<int>(clock.minutes().count()),
                  se = static_cast<int>(clock.seconds().count());
        if (step >= 86400) {
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, mo, d);
        } else if (step >= 60) {
            std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d", mo, d, h, mi);
        } else {
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, mi, se);
        }
        ticks.push_back({t, text});
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

bool PlotCollector::DataSet(const DataSetHeader& h) {
    FinishSet();
    PlotSet set;
    set.number = h.number;
    set.method = std::string(h.method);
    set.interval = std::string(h.interval);
    set.unit = std::string(PlainUnit(h.unit));
    set.start = std::string(h.startText);
    set.end = std::string(h.endText);
    sets_.push_back(std::move(set));
    const double end = SecondsSinceEpoch(h.end);
    const double start = h.startValid ? SecondsSinceEpoch(h.start) : end;
    for (ThinnedSeries* series : {&readings_, &temperatures_, &outOfRange_}) {
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
        return true;
    }
    const double time = SecondsSinceEpoch(r.when);
    if (set.records - set.timeless == 1) set.firstTime = set.lastTime = time;
    set.firstTime = std::min(set.firstTime, time);
    set.lastTime = std::max(set.lastTime, time);
    if (r.inRange) {
        readings_.Add(time, r.Reading());
    } else {
        outOfRange_.Add(time, 0.0);
    }
    if (r.hasTemperature) {
        if (set.temperatureUnit.empty())
            set.temperatureUnit = r.temperatureUnit == "(F)" ? "F" : "C";
        temperatures_.Add(time, r.Temperature());
    }
    return true;
}

void PlotCollector::FinishSet() {
    if (sets_.empty()) return;
    PlotSet& set = sets_.back();
    set.thinned = readings_.thinned() || temperatures_.thinned() || outOfRange_.thinned();
    set.readings = readings_.Take();
    set.temperatures = temperatures_.Take();
    for (const PlotPoint& p : outOfRange_.Take()) set.outOfRangeTimes.push_back(p.time);
}

std::vector<PlotSet> PlotCollector::TakeSets() {
    FinishSet();
    return std::move(sets_);
}

PlotData LoadPlotData(const std::string& binPath, int columns, const ConvertProgress& progress,
                      const bool* stop) {
    PlotData data;
    const std::string name = paths::Split(binPath).name;
    const OpenedBin bin = OpenBin(binPath);
    if (bin.failure) {
        data.status = FailedResult(*bin.failure, name);
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
