#include "forms/ReadingsChart.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

#include "common/AtomicFile.h"
#include "common/FileOps.h"
#include "common/Paths.h"

namespace vsdl::forms {
namespace {

using conversion::PlotSet;

// The object names that find the axes again after the chart was filled.
const char* const kTimeAxis = "timeAxis";
const char* const kReadingAxis = "readingAxis";
const char* const kTemperatureAxis = "temperatureAxis";
const char* const kMarkAxis = "markAxis";

// Time labels for the axis' current range, made again whenever it changes.
void LabelTime(QCategoryAxis* axis) {
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    for (const conversion::TimeTick& tick : conversion::TimeTicks(axis->min(), axis->max(), 6)) {
        axis->append(QString::fromStdString(tick.label), tick.time);
    }
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

QString UnitText(const std::vector<const PlotSet*>& sets) {
    QString unit;
    for (const PlotSet* set : sets) {
        const QString own = QString::fromStdString(set->unit);
        if (unit.isEmpty()) unit = own;
        if (own != unit) return {};
    }
    return unit;
}

}  // namespace

ChartContents FillReadingsChart(QChart& chart, const std::vector<const PlotSet*>& sets) {
    chart.removeAllSeries();
    for (QAbstractAxis* axis : chart.axes()) {
        chart.removeAxis(axis);
        delete axis;
    }
    ChartContents contents;

    auto* time = new QCategoryAxis(&chart);
    time->setObjectName(QLatin1String(kTimeAxis));
    time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    time->setTitleText(QStringLiteral("Time (logger clock)"));
    chart.addAxis(time, Qt::AlignBottom);
    auto* readings = new QValueAxis(&chart);
    readings->setObjectName(QLatin1String(kReadingAxis));
    const QString unit = UnitText(sets);
    readings->setTitleText(unit.isEmpty() ? QStringLiteral("Reading")
                                          : QStringLiteral("Reading (%1)").arg(unit));
    chart.addAxis(readings, Qt::AlignLeft);
    // Out-of-range marks sit on a hidden axis of their own, just above the time axis.
    auto* marks = new QValueAxis(&chart);
    marks->setObjectName(QLatin1String(kMarkAxis));
    marks->setRange(0.0, 1.0);
    marks->setVisible(false);
    chart.addAxis(marks, Qt::AlignRight);

    QValueAxis* temperatures = nullptr;
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    double tempLow = low, tempHigh = high;
    QString tempUnit;
    for (const PlotSet* set : sets) {
        const QString name = QStringLiteral("Set %1").arg(set->number);
        auto* line = new QLineSeries(&chart);
        line->setName(name);
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(set->readings.size()));
        for (const conversion::PlotPoint& p : set->readings) {
            points.append({p.time, p.value});
            low = std::min(low, p.value);
            high = std::max(high, p.value);
        }
        line->replace(points);
        chart.addSeries(line);
        line->attachAxis(time);
        line->attachAxis(readings);
        ++contents.readingSeries;
        contents.readingPoints += static_cast<int>(points.size());

        if (!set->temperatures.empty()) {
            if (temperatures == nullptr) {
                temperatures = new QValueAxis(&chart);
                temperatures->setObjectName(QLatin1String(kTemperatureAxis));
                chart.addAxis(temperatures, Qt::AlignRight);
            }
            tempUnit = QString::fromStdString(set->temperatureUnit);
            auto* temp = new QLineSeries(&chart);
            temp->setName(name + QStringLiteral(" temperature"));
            QPen pen = temp->pen();
            pen.setStyle(Qt::DashLine);
            pen.setColor(line->color().lighter(130));
            temp->setPen(pen);
            QList<QPointF> tempPoints;
            tempPoints.reserve(static_cast<qsizetype>(set->temperatures.size()));
            for (const conversion::PlotPoint& p : set->temperatures) {
                tempPoints.append({p.time, p.value});
                tempLow = std::min(tempLow, p.value);
                tempHigh = std::max(tempHigh, p.value);
            }
            temp->replace(tempPoints);
            chart.addSeries(temp);
            temp->attachAxis(time);
            temp->attachAxis(temperatures);
            ++contents.temperatureSeries;
            contents.temperaturePoints += static_cast<int>(tempPoints.size());
        }

        if (!set->outOfRangeTimes.empty()) {
            auto* scatter = new QScatterSeries(&chart);
            scatter->setName(name + QStringLiteral(" out of range"));
            scatter->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
            scatter->setMarkerSize(9.0);
            scatter->setColor(Qt::red);
            for (double t : set->outOfRangeTimes) scatter->append(t, 0.03);
            chart.addSeries(scatter);
            scatter->attachAxis(time);
            scatter->attachAxis(marks);
            contents.outOfRangeMarks += static_cast<int>(set->outOfRangeTimes.size());
        }
    }
    const auto [from, to] = ValueSpan(low, high);
    readings->setRange(from, to);
    readings->applyNiceNumbers();
    if (temperatures != nullptr) {
        const auto [tFrom, tTo] = ValueSpan(tempLow, tempHigh);
        temperatures->setRange(tFrom, tTo);
        temperatures->applyNiceNumbers();
        temperatures->setTitleText(QStringLiteral("Temperature (°%1)").arg(tempUnit));
    }
    QObject::connect(time, &QValueAxis::rangeChanged, time, [time] { LabelTime(time); });
    ResetZoom(chart);
    return contents;
}

void ZoomTime(QChart& chart, double factor, double shift) {
    QValueAxis* time = FindAxis(chart, kTimeAxis);
    if (time == nullptr || factor <= 0.0) return;
    const double middle = (time->min() + time->max()) / 2.0;
    const double width = (time->max() - time->min()) / factor;
    const double moved = middle + shift * width;
    // Not below ten seconds: the labels have whole seconds.
    const double half = std::max(width, 10.0) / 2.0;
    time->setRange(moved - half, moved + half);
}

void ResetZoom(QChart& chart) {
    QValueAxis* time = FindAxis(chart, kTimeAxis);
    if (time == nullptr) return;
    double from = std::numeric_limits<double>::max(), to = std::numeric_limits<double>::lowest();
    for (QAbstractSeries* series : chart.series()) {
        const auto* xy = qobject_cast<QXYSeries*>(series);
        if (xy == nullptr) continue;
        for (const QPointF& p : xy->points()) {
            from = std::min(from, p.x());
            to = std::max(to, p.x());
        }
    }
    if (from > to) {
        from = 0.0;
        to = 60.0;
    } else if (to - from < 1.0) {
        from -= 30.0;
        to += 30.0;
    }
    time->setRange(from, to);
    LabelTime(qobject_cast<QCategoryAxis*>(time));
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
                      const std::string& source) {
    const std::optional<PictureKind> kind = PictureKindOf(path);
    if (!kind) {
        error = "The picture's name must end in .png or .svg.";
        return false;
    }
    // A save dialog or a link may name the BIN file itself: the chart never replaces its source.
    if (!source.empty() && fileops::SameFile(path, source)) {
        error = "The picture " + path + " could not be written.\nIt is the BIN file itself.";
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
    const fileops::Result written = fileops::ReplaceFileContents(path, [&bytes](std::FILE* out) {
        return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out) ==
               static_cast<std::size_t>(bytes.size());
    });
    if (!written.ok) error = "The picture " + path + " could not be written.\n" + written.reason;
    return written.ok;
}

}  // namespace vsdl::forms
