// View Data: opened by F6 from the main window on the last BIN file, its chart's lines and
// point counts (thinned for a long set), the picture it saves, Esc while it reads, and the same
// chart from `vsdl plot`.
#include <QCategoryAxis>
#include <QChart>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSvgRenderer>
#include <QValueAxis>
#include <QtTest>
#include <algorithm>

#include "common/modGlobals.h"
#include "forms/ReadingsChart.h"
#include "forms/frmMain.h"
#include "forms/frmViewData.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

namespace {

QLineSeries* Line(const QChart& chart, const QString& name) {
    for (QAbstractSeries* series : chart.series()) {
        auto* line = qobject_cast<QLineSeries*>(series);
        if (line != nullptr && line->name() == name) return line;
    }
    return nullptr;
}

// The points of each line of the chart, by name.
QMap<QString, qsizetype> Lines(const QChart& chart) {
    QMap<QString, qsizetype> lines;
    for (QAbstractSeries* series : chart.series()) {
        if (auto* line = qobject_cast<QLineSeries*>(series)) lines[line->name()] = line->count();
    }
    return lines;
}

}  // namespace

class TestViewData : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void init() {
        modGlobals::Reset();
        Renew();
    }

    void f6OpensTheLastBinFileAndChangesNothing() {
        QFile sample(QStringLiteral(VSDL_SAMPLES_DIR "/CYCLE_TEMP_F.BIN"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QVERIFY(folder_->write(QStringLiteral("Run1.BIN"), sample.readAll()));
        // The main window reads the last BIN file's name from lastbin.cfg.
        const QByteArray lastBin = folder_->file(QStringLiteral("Run1.BIN")).toUtf8() + "\r\n";
        QVERIFY(folder_->write(QStringLiteral("lastbin.cfg"), lastBin));
        gRunMode = 2;
        frmMain window(context_);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QMap<QString, qsizetype> lines;
        int sets = -1;
        QString picture = folder_->file(QStringLiteral("chart.png"));
        dialogs_->answers.push_back(picture);
        WhenModalIs<frmViewData>([&](frmViewData* view) {
            WhenReady([view] { return !view->reading() && view->lstSets->count() > 0; },
                      [&, view] {
                          sets = view->lstSets->count();
                          lines = Lines(*view->chart());
                          view->cmdSavePicture->click();
                          QTest::keyClick(view, Qt::Key_Escape);
                      });
        });
        QTest::keyClick(&window, Qt::Key_F6);
        QCOMPARE(sets, 1);
        // One line of 25 readings, its temperatures on the second axis.
        QCOMPARE(lines, (QMap<QString, qsizetype>{{QStringLiteral("Set 4"), 25},
                                                  {QStringLiteral("Set 4 temperature"), 25}}));
        QImage saved(picture);
        QVERIFY(!saved.isNull());
        QVERIFY(saved.width() >= 700);
        QCOMPARE(dialogs_->requests.back().name, QStringLiteral("Run1.png"));
        QCOMPARE(gLastBinPath, folder_->file(QStringLiteral("Run1.BIN")).toStdString());
        QCOMPARE(gRunMode, std::int16_t{2});
        QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")), lastBin);
        QVERIFY(messages_->texts.isEmpty());
    }

    // A set longer than two points per slice keeps each slice's lowest and highest reading.
    void aLongSetIsThinnedToItsExtremes() {
        const QByteArray image = BuildBin(QStringLiteral(
            "marker untimed\nsetcount 1\nset 1\nwalk 20000 500. seed 3\nreading 1023.\n"
            "walk 20000 500. seed 4\nreading 0.\nwalk 100 500.\ntrailer\n"));
        QVERIFY(folder_->write(QStringLiteral("Long.BIN"), image));
        frmViewData view(context_);
        view.LoadFile(folder_->file(QStringLiteral("Long.BIN")));
        QCOMPARE(view.sets().size(), std::size_t{1});
        const vsdl::conversion::PlotSet& set = view.sets()[0];
        QCOMPARE(set.records, std::int64_t{40102});
        QVERIFY(set.thinned);
        // Drawn from the set's slices, thinned again to the chart's columns.
        const QList<QPointF> drawn = Line(*view.chart(), QStringLiteral("Set 1"))->points();
        QVERIFY(drawn.size() > 1000 && drawn.size() <= 2 * 1000 + 2);
        double low = 1e9, high = -1e9, last = -1e18;
        for (const QPointF& p : drawn) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
            QVERIFY(p.x() >= last);  // in time order
            last = p.x();
        }
        QCOMPARE(low, 0.0);
        QCOMPARE(high, 1023.0);
    }

    // Zoomed in, the line is drawn from the records in view, read again from the file: each
    // second of 300 000, the spike among them.
    void aZoomedViewShowsEachRecord() {
        const QByteArray image = BuildBin(QStringLiteral(
            "marker untimed\nsetcount 1\nset 1\nwalk 150000 5. seed 1\nreading 1023.\n"
            "walk 149999 5. seed 2\ntrailer\n"));
        QVERIFY(folder_->write(QStringLiteral("Spike.BIN"), image));
        frmViewData view(context_);
        view.LoadFile(folder_->file(QStringLiteral("Spike.BIN")));
        QChart& chart = *view.chart();
        auto* time = qobject_cast<QValueAxis*>(chart.axes(Qt::Horizontal).value(0));
        vsdl::forms::ZoomTime(chart, (time->max() - time->min()) / 300.0);
        const QList<QPointF> points = Line(chart, QStringLiteral("Set 1"))->points();
        QVERIFY2(points.size() >= 300 && points.size() <= 303,
                 qPrintable(QString::number(points.size())));
        for (qsizetype i = 1; i < points.size(); ++i) {
            QCOMPARE(points[i].x() - points[i - 1].x(), 1.0);
        }
        QVERIFY(std::any_of(points.begin(), points.end(),
                            [](const QPointF& p) { return p.y() == 1023.0; }));
    }

    // A single reading, mixed units, many sets: what the lines and axes show.
    void theChartsLinesAndAxes() {
        QChart chart;
        std::vector<vsdl::conversion::PlotSet> sets(32);
        std::vector<const vsdl::conversion::PlotSet*> all;
        for (int i = 0; i < 32; ++i) {
            auto& set = sets[static_cast<std::size_t>(i)];
            set.number = set.index = i;
            set.unit = i == 0 ? "PPB" : "mg / l";
            set.records = 1;
            set.firstTime = set.lastTime = 1000.0 * i;
            set.readings = {{1000.0 * i, 2.5}};
            all.push_back(&set);
        }
        sets[0].celsiusRecords = sets[0].fahrenheitRecords = 1;
        sets[0].celsius = {{0.0, 25.0}};
        sets[0].fahrenheit = {{1.0, 77.0}};
        sets[0].firstTime = 0.0;
        sets[0].lastTime = 1.0;

        // One reading: a marker where the line has no length; the view a minute about it.
        vsdl::forms::FillReadingsChart(chart, {&sets[1]});
        QVERIFY(Line(chart, QStringLiteral("Set 1"))->pointsVisible());
        QCOMPARE(Line(chart, QStringLiteral("Set 1"))->count(), 1);
        auto* time = qobject_cast<QValueAxis*>(chart.axes(Qt::Horizontal).value(0));
        QCOMPARE(time->max() - time->min(), 60.0);

        // Celsius and Fahrenheit in one set: one unit on the axis, the same temperature twice.
        vsdl::forms::FillReadingsChart(chart, {&sets[0]});
        const QList<QPointF> temps = Line(chart, QStringLiteral("Set 0 temperature"))->points();
        QCOMPARE(temps, (QList<QPointF>{{0.0, 25.0}, {1.0, 25.0}}));
        const auto axisTitles = [&chart] {
            QStringList titles;
            for (QAbstractAxis* axis : chart.axes()) {
                if (axis->isVisible()) titles << axis->titleText();
            }
            return titles;
        };
        QCOMPARE(axisTitles(), (QStringList{QStringLiteral("Time (logger clock)"),
                                            QStringLiteral("Reading (PPB)"),
                                            QStringLiteral("Temperature (°C)")}));

        // 32 sets: a pen each, their units in the legend, zoomed out no further than them all.
        vsdl::forms::FillReadingsChart(chart, all);
        QSet<QString> pens;
        QStringList names;
        for (QAbstractSeries* series : chart.series()) {
            auto* line = qobject_cast<QLineSeries*>(series);
            if (line == nullptr || line->name().contains(QStringLiteral("temperature"))) continue;
            pens << line->pen().color().name() + QString::number(line->pen().style());
            names << line->name();
        }
        QCOMPARE(pens.size(), 32);
        QCOMPARE(names.value(0), QStringLiteral("Set 0 (PPB)"));
        QCOMPARE(names.value(31), QStringLiteral("Set 31 (mg / l)"));
        QCOMPARE(axisTitles().value(1), QStringLiteral("Reading (units in the legend)"));
        time = qobject_cast<QValueAxis*>(chart.axes(Qt::Horizontal).value(0));
        const std::pair whole{time->min(), time->max()};
        for (int i = 0; i < 60; ++i) vsdl::forms::ZoomTime(chart, 0.5);
        QCOMPARE((std::pair{time->min(), time->max()}), whole);
        QVERIFY(whole.first < 0.0 && whole.second > 31000.0);
        const int labels = static_cast<int>(qobject_cast<QCategoryAxis*>(time)->count());
        QVERIFY(labels >= 2 && labels <= 12);
    }

    // Esc while a file is read stops the reading and closes the window.
    void escapeWhileReadingCloses() {
        const QByteArray image = BuildBin(
            QStringLiteral("marker untimed\nsetcount 1\nset 1\nwalk 3000000 5.00\ntrailer\n"));
        QVERIFY(folder_->write(QStringLiteral("Big.BIN"), image));
        gLastBinPath = folder_->file(QStringLiteral("Big.BIN")).toStdString();
        frmViewData view(context_);
        bool wasReading = false;
        WhenReady([&] { return view.reading(); },
                  [&] {
                      wasReading = true;
                      QTest::keyClick(&view, Qt::Key_Escape);
                  });
        QCOMPARE(view.exec(), int(QDialog::Rejected));
        QVERIFY(wasReading);
        QVERIFY(view.sets().empty() || view.sets()[0].records < 3000000);
    }

    void theChartAsPictures() {
        QChart chart;
        vsdl::conversion::PlotSet set;
        set.number = 2;
        set.records = 3;
        set.outOfRange = 1;
        set.readings = {{0.0, 1.5}, {10.0, 2.5}};
        set.outOfRangeTimes = {5.0};
        set.firstTime = 0.0;
        set.lastTime = 10.0;
        const vsdl::forms::ChartContents drawn = vsdl::forms::FillReadingsChart(chart, {&set});
        QCOMPARE(drawn.readingPoints, 2);
        QCOMPARE(drawn.outOfRangeMarks, 1);
        QCOMPARE(drawn.temperatureSeries, 0);
        QString error;
        const QString svg = folder_->file(QStringLiteral("chart.svg"));
        QVERIFY2(vsdl::forms::SaveChartPicture(chart, svg, QSize(640, 400), error),
                 qPrintable(error));
        QVERIFY(QSvgRenderer(svg).isValid());
        QVERIFY(!vsdl::forms::SaveChartPicture(
            chart, folder_->file(QStringLiteral("gone/chart.png")), QSize(640, 400), error));
        QVERIFY2(error.contains(QStringLiteral("gone/chart.png could not be written")),
                 qPrintable(error));
    }

    void vsdlPlotDrawsWithoutADisplay() {
        QFile::copy(QStringLiteral(VSDL_SAMPLES_DIR "/DEMO.BIN"),
                    folder_->file(QStringLiteral("DEMO.BIN")));
        folder_->write(QStringLiteral("BAD.BIN"), "\x3C\x3C\x3D\x01");
        const auto vsdl = [this](const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(folder_->path());
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.remove(QStringLiteral("DISPLAY"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(VSDL_EXE), QStringList{QStringLiteral("plot")} + args);
            p.waitForFinished(60000);
            return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
        };
        QCOMPARE(vsdl({"-q", "DEMO.BIN", "-o", "d.png", "--set", "2", "--size", "640x480"}).first,
                 0);
        QCOMPARE(QImage(folder_->file(QStringLiteral("d.png"))).size(), QSize(640, 480));
        QCOMPARE(vsdl({"-q", "DEMO.BIN", "-o", "d.png"}).first, 2);  // exists
        const auto missing = vsdl({"DEMO.BIN", "-o", "e.png", "--set", "7"});
        QCOMPARE(missing.first, 1);
        QCOMPARE(missing.second,
                 QStringLiteral("DEMO.BIN has no data set 7; its sets are 1, 2.\n"));
        QCOMPARE(vsdl({"BAD.BIN", "-o", "f.png"}).second, QStringLiteral("This BIN is corrupt\n"));
        QVERIFY(!folder_->exists(QStringLiteral("f.png")));
        QCOMPARE(vsdl({"DEMO.BIN", "-o", "g.png", "--size", "50x50"}).first, 2);
    }
};

QTEST_MAIN(TestViewData)
#include "tst_frmViewData.moc"
