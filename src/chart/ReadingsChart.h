// The chart of data sets' readings against the logger's time, shared by the View Data window and
// `vsdl plot`: one line per set on the left axis, its temperatures (when it has them) on a
// right-hand axis in one unit, out-of-range readings as marks along the time axis (never drawn
// as 0). The time axis is labelled in the logger's own clock, which has no time zone. Each
// drawn point is a record: when the view narrows, the records in view are read again from the
// image and thinned to the lowest and highest of each pixel column.
#pragma once

#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/PlotData.h"

class QChart;

namespace vsdl::chart {

struct ChartContents {
    int readingSeries = 0;
    int readingPoints = 0;
    int temperatureSeries = 0;
    int temperaturePoints = 0;
    int outOfRangeMarks = 0;
};

// Where the chart reads the records of a narrowed view again: the image the sets came from.
// Without a path the chart draws from the sets' own points.
struct ChartSource {
    std::string binPath;
    std::function<void(const QString&)> failed;  // told when the image cannot be read again
};

// Empties `chart` and draws `sets` into it, the whole time span in view. The sets must outlive
// the chart's contents (until the next fill).
ChartContents FillReadingsChart(QChart& chart, const std::vector<const conversion::PlotSet*>& sets,
                                const ChartSource& source = {});

// Zooms the time axis by `factor` (above 1: in) about the middle of the view, or moves the
// view by `shift` widths; the readings' axes keep their range. The view stays within the
// whole span of the data (and a small margin), and at least ten seconds wide.
void ZoomTime(QChart& chart, double factor, double shift = 0.0);
// The whole time span again.
void ResetZoom(QChart& chart);

enum class PictureKind { Png, Svg };
// The picture format a file name asks for by its suffix (.png or .svg, any letter case).
std::optional<PictureKind> PictureKindOf(std::string_view path);

// Renders the chart at `size` into a PNG or SVG file, by the suffix of `path`. `path` holds the
// name's bytes as the file system takes them (UTF-8 on Windows) and is never re-encoded. False
// with `error` when the suffix is neither, when `path` is the file `source` (the BIN file the
// chart shows, under any name or link), or when the file cannot be written. Without
// `replaceExisting` a file that is there first (also one made meanwhile) stays, and `existed`
// is set.
bool SaveChartPicture(QChart& chart, const std::string& path, QSize size, std::string& error,
                      const std::string& source = {}, bool replaceExisting = true,
                      bool* existed = nullptr);

}  // namespace vsdl::chart
