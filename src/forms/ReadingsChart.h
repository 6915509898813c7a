// The chart of data sets' readings against the logger's time, shared by the View Data window and
// `vsdl plot`: one line per set on the left axis, its temperatures (when it has them) on a
// right-hand axis, out-of-range readings as marks along the time axis (never drawn as 0). The
// time axis is labelled in the logger's own clock, which has no time zone.
#pragma once

#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <string_view>
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

enum class PictureKind { Png, Svg };
// The picture format a file name asks for by its suffix (.png or .svg, any letter case).
std::optional<PictureKind> PictureKindOf(std::string_view path);

// Renders the chart at `size` into a PNG or SVG file, by the suffix of `path`. `path` holds the
// name's bytes as the file system takes them (UTF-8 on Windows) and is never re-encoded. False
// with `error` when the suffix is neither, when `path` is the file `source` (the BIN file the
// chart shows, under any name or link), or when the file cannot be written.
bool SaveChartPicture(QChart& chart, const std::string& path, QSize size, std::string& error,
                      const std::string& source = {});

}  // namespace vsdl::forms
