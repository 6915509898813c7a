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
#include <string>
#include <vector>

#include "conversion/PlotData.h"

class QChart;

namespace vsdl::forms {

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

// Renders the chart at `size` into a PNG or SVG file (by the file's suffix). False with
// `error` when the file cannot be written or the suffix is neither. Without `replaceExisting` a
// file that is there first (also one made meanwhile) stays, and `existed` is set.
bool SaveChartPicture(QChart& chart, const QString& path, QSize size, QString& error,
                      bool replaceExisting = true, bool* existed = nullptr);

}  // namespace vsdl::forms
