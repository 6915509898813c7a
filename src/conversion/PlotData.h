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
    std::string label;  // "2024-03-14", "03-14 09:30" or "09:30:15", by the step
};
// Ticks at round steps (1 second to a year) between `from` and `to`, about `wanted` of them.
std::vector<TimeTick> TimeTicks(double from, double to, int wanted);

struct PlotPoint {
    double time;
    double value;
};

struct PlotSet {
    int number = 0;
    std::string method, interval, unit, start, end;  // the report's texts
    std::string temperatureUnit;                     // "C" or "F"; empty without temperatures
    std::int64_t records = 0;
    std::int64_t outOfRange = 0;
    std::int64_t timeless = 0;            // timed records whose stamp is no real date
    bool thinned = false;                 // more records than points
    std::vector<PlotPoint> readings;      // in time order of the records
    std::vector<PlotPoint> temperatures;  // empty when the set has none
    std::vector<double> outOfRangeTimes;  // where readings were out of range (one per slice)
    double firstTime = 0, lastTime = 0;   // the span of the records' times

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
    ThinnedSeries readings_, temperatures_, outOfRange_;
};

// The plot data of a BIN file, with the conversion's outcome and message when it fails (the
// sets decoded before a fault are kept).
struct PlotData {
    ConvertResult status;  // outcome Completed (message empty), Corrupt or Failed
    bool stopped = false;  // ended early by `stop`
    std::vector<PlotSet> sets;
};
PlotData LoadPlotData(const std::string& binPath, int columns = 2000,
                      const ConvertProgress& progress = {}, const bool* stop = nullptr);

}  // namespace vsdl::conversion
