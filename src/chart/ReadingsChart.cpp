#include "chart/ReadingsChart.h"

#include <QApplication>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "common/AtomicFile.h"
#include "common/FileOps.h"
#include "common/Paths.h"

namespace vsdl::chart {
namespace {

using conversion::PlotPoint;
using conversion::PlotPoints;
using conversion::PlotSet;

// The object names that find the axes again after the chart was filled.
const char* const kTimeAxis = "timeAxis";
const char* const kReadingAxis = "readingAxis";
const char* const kTemperatureAxis = "temperatureAxis";
const char* const kMarkAxis = "markAxis";
const char* const kView = "readingsView";

// The narrowest view: the labels have whole seconds.
constexpr double kNarrowest = 10.0;
// A line of at most this many points shows each of them as a marker.
constexpr int kMarkedPoints = 60;
// Up to this many sets, the legend names each set's temperature line too.
constexpr std::size_t kTemperaturesInLegend = 6;

// Set colours that tell apart on screen and on paper; sets beyond them repeat the hues darker,
// then lighter, and with dashes, dots or dash-dot-dots. Red is left to the out-of-range marks.
const QColor kColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                           QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                           QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2),
                           QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
                           QColor(0x17, 0xbe, 0xcf), QColor(0x1a, 0x23, 0x7e)};
const Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotDotLine};

// Dashes cost much to draw along a dense line, where they could not be told apart anyway: a
// line of more points than this is drawn solid.
constexpr int kDashedPoints = 300;

QPen SetPen(int index) {
    const auto count = static_cast<int>(std::size(kColours));
    const int round = index / count;
    const QColor base = kColours[index % count];
    QPen pen(round % 3 == 1 ? base.darker(160) : round % 3 == 2 ? base.lighter(150) : base, 2.0);
    pen.setStyle(kStyles[round % static_cast<int>(std::size(kStyles))]);
    return pen;
}

// A temperature line: its set's colour, lighter, thinner and dash-dotted.
QPen TemperaturePen(int index) {
    QPen pen(SetPen(index).color().lighter(135), 1.2);
    pen.setStyle(Qt::DashDotLine);
    return pen;
}

QValueAxis* FindAxis(const QChart& chart, const char* name) {
    for (QAbstractAxis* axis : chart.axes()) {
        if (axis->objectName() == QLatin1String(name)) return qobject_cast<QValueAxis*>(axis);
    }
    return nullptr;
}

// A value range with 5 % room above and below (a flat line gets a unit of room).
std::pair<double, double> ValueSpan(double low, double high) {
    if (low > high) return {0.0, 1.0};
    const double room = high > low ? (high - low) * 0.05 : 0.5;
    return {low - room, high + room};
}

QList<QPointF> ToQt(const std::vector<PlotPoint>& points) {
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const PlotPoint& p : points) list.append({p.time, p.value});
    return list;
}

void SetPoints(QLineSeries* line, const std::vector<PlotPoint>& points, const QPen& pen) {
    line->replace(ToQt(points));
    line->setPointsVisible(points.size() <= kMarkedPoints);
    QPen drawn = pen;
    if (points.size() > kDashedPoints) drawn.setStyle(Qt::SolidLine);
    if (line->pen() != drawn) line->setPen(drawn);
}

// What the chart draws, kept beside it so that each change of the time axis' range draws the
// records in view again.
class ChartView final : public QObject {
  public:
    struct Line {
        const PlotSet* set;
        QLineSeries* readings;
        QLineSeries* temperatures;  // null without temperatures
        QScatterSeries* marks;      // null without out-of-range readings
    };

    ChartView(QChart& chart, ChartSource source) : QObject(&chart), chart_(chart) {
        setObjectName(QLatin1String(kView));
        source_ = std::move(source);
    }

    std::vector<Line> lines;
    bool fahrenheit = false;
    double from = 0, to = 60;  // the whole span with its margins
    ChartContents contents;

    // Keeps the axis' range within the whole span, then labels it and draws what is in view.
    void RangeChanged(QCategoryAxis* axis) {
        if (updating_) return;
        double low = axis->min(), high = axis->max();
        double width = std::clamp(high - low, std::min(kNarrowest, to - from), to - from);
        if (!(width > 0)) width = to - from;  // NaN
        if (!(low >= from)) low = from;
        low = std::min(low, to - width);
        high = low + width;
        updating_ = true;
        if (low != axis->min() || high != axis->max()) axis->setRange(low, high);
        Label(axis);
        Draw(low, high);
        updating_ = false;
    }

  private:
    // Time labels for the axis' range: as many as fit side by side with room between them.
    void Label(QCategoryAxis* axis) const {
        for (const QString& label : axis->categoriesLabels()) axis->remove(label);
        const double pixels = Width();
        const QFontMetricsF metrics(axis->labelsFont());
        const double gap = metrics.horizontalAdvance(QStringLiteral("MM"));
        std::vector<conversion::TimeTick> ticks;
        for (int wanted = conversion::kMostTimeTicks; wanted >= 1; --wanted) {
            ticks = conversion::TimeTicks(axis->min(), axis->max(), wanted);
            double widest = 0;
            for (const auto& tick : ticks) {
                widest =
                    std::max(widest, metrics.horizontalAdvance(QString::fromStdString(tick.label)));
            }
            double closest = pixels;
            for (std::size_t i = 1; i < ticks.size(); ++i) {
                closest = std::min(closest, (ticks[i].time - ticks[i - 1].time) /
                                                (axis->max() - axis->min()) * pixels);
            }
            if (closest >= widest + gap) break;
        }
        for (const auto& tick : ticks) axis->append(QString::fromStdString(tick.label), tick.time);
    }

    double Width() const {
        const double width = chart_.plotArea().width();
        return width > 50 ? width : 1000.0;
    }

    void Draw(double low, double high) {
        const int columns = static_cast<int>(Width());
        const bool whole = low <= from && high >= to;
        contents.readingPoints = contents.temperaturePoints = contents.outOfRangeMarks = 0;
        for (const Line& line : lines) {
            const PlotSet& set = *line.set;
            PlotPoints shown;
            // The set's own points do while they have a slice or more per pixel column.
            const bool reread = !whole && set.thinned && !source_.binPath.empty() &&
                                set.sliceWidth > (high - low) / columns;
            bool read = false;
            if (reread) {
                conversion::PlotSpan span =
                    conversion::LoadPlotSpan(source_.binPath, set, low, high, columns);
                if (span.error.empty()) {
                    shown = std::move(span.points);
                    read = true;
                } else if (source_.failed) {
                    source_.failed(QString::fromStdString(span.error));
                    source_.binPath.clear();
                }
            }
            if (!read) shown = conversion::VisiblePoints(set, low, high, columns);
            SetPoints(line.readings, shown.readings, SetPen(set.index));
            contents.readingPoints += static_cast<int>(shown.readings.size());
            if (line.temperatures != nullptr) {
                const auto temperatures = conversion::TemperaturesIn(shown, fahrenheit);
                SetPoints(line.temperatures, temperatures, TemperaturePen(set.index));
                contents.temperaturePoints += static_cast<int>(temperatures.size());
            }
            if (line.marks != nullptr) {
                QList<QPointF> marks;
                for (double t : shown.outOfRangeTimes) marks.append({t, 0.03});
                line.marks->replace(marks);
                contents.outOfRangeMarks += static_cast<int>(marks.size());
            }
        }
    }

    QChart& chart_;
    ChartSource source_;
    bool updating_ = false;
};

ChartView* FindView(const QChart& chart) {
    return chart.findChild<ChartView*>(QLatin1String(kView), Qt::FindDirectChildrenOnly);
}

// The readings' unit for the axis: the one unit of all sets, or none when they differ.
QString AxisUnit(const std::vector<const PlotSet*>& sets, bool& several) {
    QString unit;
    several = false;
    for (const PlotSet* set : sets) {
        const QString own = QString::fromStdString(set->unit);
        if (set == sets.front()) unit = own;
        if (own != unit) several = true;
    }
    return several ? QString() : unit;
}

// Labels, titles and the legend in the desktop's font, as the window around the chart.
void UseDesktopFont(QChart& chart, QAbstractAxis* axis) {
    const QFont font = QApplication::font();
    axis->setLabelsFont(font);
    QFont title = font;
    title.setBold(true);
    axis->setTitleFont(title);
    chart.legend()->setFont(font);
    QFont heading = font;
    heading.setBold(true);
    heading.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 1.2 : 12.0);
    chart.setTitleFont(heading);
}

}  // namespace

ChartContents FillReadingsChart(QChart& chart, const std::vector<const PlotSet*>& sets,
                                const ChartSource& source) {
    delete FindView(chart);
    chart.removeAllSeries();
    for (QAbstractAxis* axis : chart.axes()) {
        chart.removeAxis(axis);
        delete axis;
    }
    auto* view = new ChartView(chart, source);

    auto* time = new QCategoryAxis(&chart);
    time->setObjectName(QLatin1String(kTimeAxis));
    time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    time->setTitleText(QStringLiteral("Time (logger clock)"));
    UseDesktopFont(chart, time);
    chart.addAxis(time, Qt::AlignBottom);
    auto* readings = new QValueAxis(&chart);
    readings->setObjectName(QLatin1String(kReadingAxis));
    bool severalUnits = false;
    const QString unit = AxisUnit(sets, severalUnits);
    readings->setTitleText(severalUnits     ? QStringLiteral("Reading (units in the legend)")
                           : unit.isEmpty() ? QStringLiteral("Reading")
                                            : QStringLiteral("Reading (%1)").arg(unit));
    UseDesktopFont(chart, readings);
    chart.addAxis(readings, Qt::AlignLeft);
    // Out-of-range marks sit on a hidden axis of their own, just above the time axis.
    auto* marks = new QValueAxis(&chart);
    marks->setObjectName(QLatin1String(kMarkAxis));
    marks->setRange(0.0, 1.0);
    marks->setVisible(false);
    chart.addAxis(marks, Qt::AlignRight);

    // One temperature unit for all: the one most of the records name, Celsius on a tie.
    std::int64_t celsius = 0, fahrenheit = 0;
    for (const PlotSet* set : sets) {
        celsius += set->celsiusRecords;
        fahrenheit += set->fahrenheitRecords;
    }
    view->fahrenheit = fahrenheit > celsius;
    QValueAxis* temperatures = nullptr;
    if (celsius + fahrenheit > 0) {
        temperatures = new QValueAxis(&chart);
        temperatures->setObjectName(QLatin1String(kTemperatureAxis));
        temperatures->setTitleText(
            QStringLiteral("Temperature (°%1)").arg(view->fahrenheit ? 'F' : 'C'));
        UseDesktopFont(chart, temperatures);
        chart.addAxis(temperatures, Qt::AlignRight);
    }

    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    double tempLow = low, tempHigh = high;
    double first = low, last = high;
    bool markNamed = false;
    for (const PlotSet* set : sets) {
        QString name = QStringLiteral("Set %1").arg(set->number);
        auto* line = new QLineSeries(&chart);
        line->setName(set->unit.empty() || !severalUnits
                          ? name
                          : QStringLiteral("%1 (%2)").arg(name, QString::fromStdString(set->unit)));
        line->setPen(SetPen(set->index));
        line->setMarkerSize(5.0);
        chart.addSeries(line);
        line->attachAxis(time);
        line->attachAxis(readings);
        for (const PlotPoint& p : set->readings) {
            low = std::min(low, p.value);
            high = std::max(high, p.value);
        }
        if (set->records > set->timeless) {
            first = std::min(first, set->firstTime);
            last = std::max(last, set->lastTime);
        }
        ChartView::Line drawn{set, line, nullptr, nullptr};

        if (set->celsiusRecords + set->fahrenheitRecords > 0) {
            auto* temp = new QLineSeries(&chart);
            temp->setName(name + QStringLiteral(" temperature"));
            temp->setPen(TemperaturePen(set->index));
            temp->setMarkerSize(4.0);
            for (const PlotPoint& p : conversion::TemperaturesIn(*set, view->fahrenheit)) {
                tempLow = std::min(tempLow, p.value);
                tempHigh = std::max(tempHigh, p.value);
            }
            chart.addSeries(temp);
            temp->attachAxis(time);
            temp->attachAxis(temperatures);
            ++view->contents.temperatureSeries;
            drawn.temperatures = temp;
        }

        if (!set->outOfRangeTimes.empty()) {
            auto* scatter = new QScatterSeries(&chart);
            scatter->setName(QStringLiteral("Out of range"));
            scatter->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
            scatter->setMarkerSize(9.0);
            scatter->setColor(Qt::red);
            chart.addSeries(scatter);
            scatter->attachAxis(time);
            scatter->attachAxis(marks);
            drawn.marks = scatter;
            // All marks look alike: one legend entry says what they are.
            if (markNamed) chart.legend()->markers(scatter).value(0)->setVisible(false);
            markNamed = true;
        }
        ++view->contents.readingSeries;
        view->lines.push_back(drawn);
    }
    // Many sets: the legend names the sets, the axis says which lines are temperatures.
    if (sets.size() > kTemperaturesInLegend) {
        for (const ChartView::Line& line : view->lines) {
            if (line.temperatures != nullptr) {
                chart.legend()->markers(line.temperatures).value(0)->setVisible(false);
            }
        }
        if (temperatures != nullptr) {
            temperatures->setTitleText(temperatures->titleText() +
                                       QStringLiteral(", dash-dot lines"));
        }
    }
    // A long legend stands in a column beside the chart, where it has room for every name.
    // Its samples show each line's pen, dashes included; past 16 sets its text is smaller, so
    // that 32 names fit beside a chart of 700 pixels.
    chart.legend()->setAlignment(sets.size() > 4 ? Qt::AlignRight : Qt::AlignBottom);
    chart.legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    if (sets.size() > 16) {
        QFont small = chart.legend()->font();
        small.setPointSizeF(small.pointSizeF() * std::max(0.65, 20.0 / sets.size()));
        chart.legend()->setFont(small);
    }

    const auto [from, to] = ValueSpan(low, high);
    readings->setRange(from, to);
    readings->applyNiceNumbers();
    if (temperatures != nullptr) {
        const auto [tFrom, tTo] = ValueSpan(tempLow, tempHigh);
        temperatures->setRange(tFrom, tTo);
        temperatures->applyNiceNumbers();
    }
    // The whole span with a margin of 2 %; a minute about a single time.
    if (first > last) {
        first = 0.0;
        last = 60.0;
    } else if (last - first < 60.0) {
        const double middle = (first + last) / 2.0;
        first = middle - 30.0;
        last = middle + 30.0;
    } else {
        const double margin = (last - first) * 0.02;
        first -= margin;
        last += margin;
    }
    view->from = first;
    view->to = last;
    QObject::connect(time, &QValueAxis::rangeChanged, view,
                     [view, time] { view->RangeChanged(time); });
    ResetZoom(chart);
    return view->contents;
}

void ZoomTime(QChart& chart, double factor, double shift) {
    QValueAxis* time = FindAxis(chart, kTimeAxis);
    if (time == nullptr || !(factor > 0.0)) return;
    const double middle = (time->min() + time->max()) / 2.0;
    const double width = (time->max() - time->min()) / factor;
    const double moved = middle + shift * width;
    // The view's own rules (whole span, ten seconds) are kept when the range changes.
    time->setRange(moved - width / 2.0, moved + width / 2.0);
}

void ResetZoom(QChart& chart) {
    QValueAxis* time = FindAxis(chart, kTimeAxis);
    ChartView* view = FindView(chart);
    if (time == nullptr || view == nullptr) return;
    if (time->min() == view->from && time->max() == view->to) {
        view->RangeChanged(qobject_cast<QCategoryAxis*>(time));  // drawn again all the same
    } else {
        time->setRange(view->from, view->to);
    }
}

std::optional<PictureKind> PictureKindOf(std::string_view path) {
    const std::size_t dot = path.find_last_of("./\\");
    if (dot == std::string_view::npos || path[dot] != '.') return std::nullopt;
    const std::string_view suffix = path.substr(dot + 1);
    if (paths::EqualsIgnoreCase(suffix, "png")) return PictureKind::Png;
    if (paths::EqualsIgnoreCase(suffix, "svg")) return PictureKind::Svg;
    return std::nullopt;
}

bool SaveChartPicture(QChart& chart, const std::string& path, QSize size, std::string& error,
                      const std::string& source, bool replaceExisting, bool* existed) {
    const std::optional<PictureKind> kind = PictureKindOf(path);
    if (!kind) {
        error = "The picture's name must end in .png or .svg.";
        return false;
    }
    // A save dialog or a link may name the BIN file itself: the chart never replaces its source.
    if (!source.empty() && fileops::SameFile(path, source)) {
        error = fileops::NotWrittenText("The picture " + path, fileops::kIsTheBinFile);
        return false;
    }
    // The chart is drawn in a scene of its own at the asked size, then put back as it was.
    QGraphicsScene* before = chart.scene();
    const QSizeF oldSize = chart.size();
    QGraphicsScene scene;
    if (before != nullptr) before->removeItem(&chart);
    scene.addItem(&chart);
    chart.resize(size);
    const QRectF area(QPointF(0, 0), QSizeF(size));
    scene.setSceneRect(area);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (*kind == PictureKind::Png) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, area, area);
        painter.end();
        image.save(&buffer, "PNG");
    } else {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(chart.title());
        QPainter painter(&svg);
        scene.render(&painter, area, area);
    }
    scene.removeItem(&chart);
    if (before != nullptr) before->addItem(&chart);
    chart.resize(oldSize);

    // Written whole under a temporary name and renamed: a failure leaves an old file as it was.
    // The name's bytes go to the file system as they came, so that the file written is the one
    // whose existence was checked.
    const fileops::Result written = fileops::ReplaceFileContents(
        path,
        [&bytes](std::FILE* out) {
            return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out) ==
                   static_cast<std::size_t>(bytes.size());
        },
        replaceExisting ? fileops::Existing::Replace : fileops::Existing::Keep);
    if (existed != nullptr) *existed = written.existed;
    if (!written.ok) error = fileops::NotWrittenText("The picture " + path, written.reason);
    return written.ok;
}

}  // namespace vsdl::chart
