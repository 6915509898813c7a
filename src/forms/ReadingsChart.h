// The chart of data sets' readings against the logger's time, shared by the View Data window and
// `vsdl plot`: one line per set on the left axis, its temperatures (when it has them) on a
// right-hand axis, out-of-range readings as marks along the time axis (never drawn as 0). The
// time axis is labelled in the logger's own clock, which has no time zone.
#pragma once

#include <QSize>
#include <QString>
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

// Empties `chart` and draws `sets` into it, the whole time span in view.
ChartContents FillReadingsChart(QChart& chart, const std::vector<const conversion::PlotSet*>& sets);

// Zooms the time axis by `factor` (above 1: in) about the middle of the view, or moves the
// view by `shift` widths; the readings' axes keep their range.
void ZoomTime(QChart& chart, double factor, double shift = 0.0);
// The whole time span again.
void ResetZoom(QChart& chart);

// Renders the chart at `size` into a PNG or SVG file (by the file's suffix). False with
// `error` when the file cannot be written or the suffix is neither. Without `replaceExisting` a
// file that is there first (also one made meanwhile) stays, and `existed` is set.
bool SaveChartPicture(QChart& chart, const QString& path, QSize size, QString& error,
                      bool replaceExisting = true, bool* existed = nullptr);

}  // namespace vsdl::forms
