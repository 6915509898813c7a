// What a plot of a BIN image needs, gathered in one pass of the decoder: each data set's header
// texts and its readings and temperatures against time, thinned to at most the lowest and the
// highest value of each of `columns` time slices, so that a plot of a huge image needs little
// memory and draws quickly while every peak stays visible. Standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/ConvertResult.h"
#include "conversion/Decoder.h"

namespace vsdl::conversion {

// Times are seconds since 1970-01-01 00:00:00 of the logger's own clock (which has no zone).
double SecondsSinceEpoch(const CalendarTime& t);

// A label of a time axis at `time`.
struct TimeTick {
    double time;
    // "09:30:15" or "09:30" (with "03-14 " in front when the span crosses a day, "2024-03-14 "
    // when it crosses a year), "2024-03-14", "2024-03" or "2024", by the step.
    std::string label;
};
// More labels than this crowd any time axis.
inline constexpr int kMostTimeTicks = 12;
// Ticks at round steps (a second to millennia) between `from` and `to`, at most `wanted` of
// them (1 to kMostTimeTicks); month and year steps fall on the 1st of a month. Times outside
// the years 1 to 9999 are left out.
std::vector<TimeTick> TimeTicks(double from, double to, int wanted);

struct PlotPoint {
    double time;
    double value;
};

// Points of a set, each one of its records, in the order of the records.
struct PlotPoints {
    std::vector<PlotPoint> readings;
    // Temperatures in the unit each record names: a set may change from one to the other.
    std::vector<PlotPoint> celsius, fahrenheit;
    std::vector<double> outOfRangeTimes;  // where readings were out of range
};

// The temperatures of `points` in one unit, in time order (the other unit's converted).
std::vector<PlotPoint> TemperaturesIn(const PlotPoints& points, bool fahrenheit);

struct PlotSet : PlotPoints {
    int number = 0;
    int index = 0;                                   // 0 for the image's first set, 1, ...
    std::string method, interval, unit, start, end;  // the report's texts
    std::int64_t records = 0;
    std::int64_t outOfRange = 0;
    std::int64_t timeless = 0;  // timed records whose stamp is no real date
    std::int64_t celsiusRecords = 0, fahrenheitRecords = 0;
    bool thinned = false;                // more records than points
    double sliceWidth = 0;               // seconds per slice when thinned
    double firstTime = 0, lastTime = 0;  // the span of the records' times

    // Where the records lie in the image, to read a span of them again.
    std::int64_t recordsOffset = 0;  // the first record's byte
    int recordLength = 2;
    bool timed = false;
    bool ordered = true;   // timed: every stamp is a real date, none earlier than the one before
    double startTime = 0;  // untimed: the first record's time, the others an interval apart
    int intervalSeconds = 0;

    // "Set 1: AVERAGE, 1  (SEC), PPB, 03/14/24 09:30:00 - 03/14/24 10:30:00"
    std::string Label() const;
};

// Points in time order, kept as they come while there are at most 2 * columns of them; beyond
// that, each of `columns` slices of a time span keeps its lowest and its highest point (points
// outside the span count to the first or last slice).
class ThinnedSeries {
  public:
    void Reset(double spanStart, double spanLength, int columns);
    void Add(double time, double value);
    bool thinned() const { return !slices_.empty(); }
    // The points, in time order; the series is empty afterwards.
    std::vector<PlotPoint> Take();

  private:
    struct Slice {
        bool used = false;
        PlotPoint low{}, high{};
    };
    void AddToSlice(const PlotPoint& p);

    std::vector<PlotPoint> raw_;
    std::vector<Slice> slices_;
    double spanStart_ = 0, spanLength_ = 1;
    int columns_ = 1;
};

// The decoder's reader that fills the sets, each series thinned over the set's time span (from
// its header) with `columns` slices.
class PlotCollector final : public DecodeReader {
  public:
    // `stop` (when given) ends the decoding at the next record once it is true.
    explicit PlotCollector(int columns = 2000, const bool* stop = nullptr)
        : columns_(columns < 1 ? 1 : columns), stop_(stop) {}
    bool DataSet(const DataSetHeader& header) override;
    bool Record(const DecodedRecord& record) override;
    bool NextDataSet() override { return true; }
    // The sets, complete: call once, after the decoding.
    std::vector<PlotSet> TakeSets();

  private:
    void FinishSet();

    int columns_;
    const bool* stop_;
    std::vector<PlotSet> sets_;
    ThinnedSeries readings_, celsius_, fahrenheit_, outOfRange_;
    std::int64_t nextOffset_ = 4 + 17;  // where the next set's records begin
};

// The points of `points` (each series in time order) whose times lie between `from` and `to`,
// thinned over that span to `columns` slices, with the nearest point on either side.
PlotPoints VisiblePoints(const PlotPoints& points, double from, double to, int columns);

// The plot data of a BIN file, with the conversion's outcome and message when it fails (the
// sets decoded before a fault are kept).
struct PlotData {
    ConvertResult status;  // outcome Completed (message empty), Corrupt or Failed
    bool stopped = false;  // ended early by `stop`
    std::vector<PlotSet> sets;
};
PlotData LoadPlotData(const std::string& binPath, int columns = 2000,
                      const ConvertProgress& progress = {}, const bool* stop = nullptr);

// The records of `set` (from LoadPlotData of the same file) whose times lie between `from` and
// `to`, read again from the image and thinned over that span to `columns` slices, with the
// nearest record on either side so that lines run on to the edges. The span is found by the
// interval of an untimed set and by a search on the stamps of a timed one. Empty with `error`
// when the file cannot be read as before.
struct PlotSpan {
    PlotPoints points;
    std::int64_t recordsRead = 0;
    std::string error;
};
PlotSpan LoadPlotSpan(const std::string& binPath, const PlotSet& set, double from, double to,
                      int columns);

}  // namespace vsdl::conversion
