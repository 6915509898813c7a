// View Data: opened by F6 on the last BIN file, its chart's lines and point counts (thinned for
// a long set, each record when zoomed in), the picture it saves and the names it saves under, its
// export, Esc while it reads or exports, and the same chart from `vsdl plot`.
#include <QCategoryAxis>
#include <QChart>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgRenderer>
#include <QValueAxis>
#include <QtTest>
#include <algorithm>
#include <filesystem>

#include "chart/ReadingsChart.h"
#include "common/modGlobals.h"
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
        QVERIFY(QFile::copy(QStringLiteral(VSDL_SAMPLES_DIR "/CYCLE_TEMP_F.BIN"),
                            folder_->file(QStringLiteral("Run1.BIN"))));
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
    // Zoomed in, the line is drawn from the records in view, read again from the file: each
    // second, the spike near the middle among them.
    void aLongSetIsThinnedToItsExtremesAndAZoomedViewShowsEachRecord() {
        const QByteArray image = BuildBin(QStringLiteral(
            "marker untimed\nsetcount 1\nset 1\nwalk 20000 500. seed 3\nreading 1023.\n"
            "walk 20000 500. seed 4\nreading 0.\nwalk 100 500.\ntrailer\n"));
        QVERIFY(folder_->write(QStringLiteral("Long.BIN"), image));
        frmViewData view(context_);
        view.LoadFile(folder_->file(QStringLiteral("Long.BIN")));
        QCOMPARE(view.sets().size(), std::size_t{1});
        QCOMPARE(view.sets()[0].records, std::int64_t{40102});
        QVERIFY(view.sets()[0].thinned);
        // Drawn from the set's slices, thinned again to the chart's columns.
        QChart& chart = *view.chart();
        const QList<QPointF> drawn = Line(chart, QStringLiteral("Set 1"))->points();
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

        auto* time = qobject_cast<QValueAxis*>(chart.axes(Qt::Horizontal).value(0));
        vsdl::chart::ZoomTime(chart, (time->max() - time->min()) / 300.0);
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
        vsdl::chart::FillReadingsChart(chart, {&sets[1]});
        QVERIFY(Line(chart, QStringLiteral("Set 1"))->pointsVisible());
        QCOMPARE(Line(chart, QStringLiteral("Set 1"))->count(), 1);
        auto* time = qobject_cast<QValueAxis*>(chart.axes(Qt::Horizontal).value(0));
        QCOMPARE(time->max() - time->min(), 60.0);

        // Celsius and Fahrenheit in one set: one unit on the axis, the same temperature twice.
        vsdl::chart::FillReadingsChart(chart, {&sets[0]});
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
        vsdl::chart::FillReadingsChart(chart, all);
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
        for (int i = 0; i < 60; ++i) vsdl::chart::ZoomTime(chart, 0.5);
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

    // The save dialog adds the chosen filter's suffix before it asks about replacing a file.
    void savePictureAsksAboutTheFileItWrites() {
        QVERIFY(folder_->write(QStringLiteral("chart.png"), "mine"));
        for (const QString& suffix : {QStringLiteral("png"), QStringLiteral("svg")}) {
            const auto dialog = vsdl::forms::QtFileDialogs::MakeSaveDialog(
                nullptr, {folder_->path(), {}, "PNG (*.png)|*.png|SVG (*.svg)|*.svg", true});
            dialog->show();
            dialog->selectNameFilter(suffix.toUpper() + QStringLiteral(" (*.") + suffix + ')');
            dialog->selectFile(QStringLiteral("chart"));
            QString asked;
            WhenModalIs<QMessageBox>(
                [&](QMessageBox* box) {
                    asked = box->text();
                    box->reject();
                },
                2000, dialog.get());
            static_cast<QDialog*>(dialog.get())->accept();  // as its Save button does
            // Only chart.png exists: the question names it; chart.svg is taken without one.
            QCOMPARE(asked.section('\n', 0, 0),
                     suffix == "png" ? QStringLiteral("chart.png already exists.") : QString());
            QCOMPARE(dialog->selectedFiles(), QStringList{folder_->file("chart." + suffix)});
        }
    }

    // The export's format follows the name; Esc stops it and leaves nothing behind.
    void exportByNameAndEscStopsIt() {
        const QString set = QStringLiteral("marker untimed\nsetcount 1\nset 1\n");
        QVERIFY(folder_->write(QStringLiteral("One.BIN"), BuildBin(set + "reading 2.5\n")));
        QVERIFY(folder_->write(QStringLiteral("Big.BIN"), BuildBin(set + "walk 600000 5.00\n")));
        frmViewData view(context_);
        view.show();
        view.LoadFile(folder_->file(QStringLiteral("One.BIN")));
        QVERIFY(view.lstSets->item(0)->text().endsWith(QStringLiteral("(1 record)")));
        dialogs_->answers = {folder_->file(QStringLiteral("t.json")),
                             folder_->file(QStringLiteral("big.csv"))};
        view.cmdExport->click();
        QVERIFY(folder_->read(QStringLiteral("t.json")).startsWith("{"));

        view.LoadFile(folder_->file(QStringLiteral("Big.BIN")));
        bool barShown = false;
        WhenReady([&] { return view.exporting(); },
                  [&] {
                      barShown = view.prgReading->isVisibleTo(&view);
                      QTest::keyClick(&view, Qt::Key_Escape);
                  });
        view.cmdExport->click();
        QVERIFY(barShown);
        QCOMPARE(QDir(folder_->path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"Big.BIN", "One.BIN", "t.json"}));
        QCOMPARE(view.lblStatus->text(),
                 QStringLiteral("The export was stopped; big.csv was not written."));
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
        const vsdl::chart::ChartContents drawn = vsdl::chart::FillReadingsChart(chart, {&set});
        QCOMPARE(drawn.readingPoints, 2);
        QCOMPARE(drawn.outOfRangeMarks, 1);
        QCOMPARE(drawn.temperatureSeries, 0);
        std::string error;
        const std::string dir = folder_->path().toStdString();
        QVERIFY2(vsdl::chart::SaveChartPicture(chart, dir + "chart.svg", QSize(640, 400), error),
                 error.c_str());
        QVERIFY(QSvgRenderer(folder_->file(QStringLiteral("chart.svg"))).isValid());
        QVERIFY(
            !vsdl::chart::SaveChartPicture(chart, dir + "gone/chart.png", QSize(640, 400), error));
        QVERIFY2(error.find("gone/chart.png could not be written") != std::string::npos,
                 error.c_str());
        // The BIN file under another name is never replaced.
        QVERIFY(folder_->write(QStringLiteral("Run.BIN"), "image"));
        std::filesystem::create_hard_link(dir + "Run.BIN", dir + "hard.SVG");
        QVERIFY(!vsdl::chart::SaveChartPicture(chart, dir + "hard.SVG", QSize(640, 400), error,
                                               dir + "Run.BIN"));
        QCOMPARE(error, "The picture " + dir +
                            "hard.SVG could not be written.\nIt is the BIN file itself.");
    }

    void vsdlPlotDrawsWithoutADisplay() {
        QFile::copy(QStringLiteral(VSDL_SAMPLES_DIR "/DEMO.BIN"),
                    folder_->file(QStringLiteral("DEMO.BIN")));
        folder_->write(QStringLiteral("BAD.BIN"), "\x3C\x3C\x3D\x01");
        folder_->write(QStringLiteral("END.BIN"),
                       BuildBin(QStringLiteral("marker untimed\nsetcount 2\nset 1\nreading 0.01\n"
                                               "set 2\nend 13/01/05 00:00:00\nreading 0.02\n")));
        // Through the shell, so that a name may hold bytes that are no UTF-8.
        const QString plot =
            QStringLiteral("unset QT_QPA_PLATFORM DISPLAY XDG_RUNTIME_DIR; '" VSDL_EXE "' plot ");
        const auto vsdl = [this, &plot](const QString& args) {
            QProcess p;
            p.setWorkingDirectory(folder_->path());
            p.start(QStringLiteral("sh"), {QStringLiteral("-c"), plot + args});
            p.waitForFinished(60000);
            return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
        };
        // -q: not a word on stderr, neither from Qt nor from the libraries under it.
        QCOMPARE(vsdl("-q DEMO.BIN -o d.png --set 2 --size 640x480"), std::pair(0, QString()));
        QCOMPARE(QImage(folder_->file(QStringLiteral("d.png"))).size(), QSize(640, 480));
        QCOMPARE(vsdl("-q DEMO.BIN -o d.png").first, 2);  // exists
        const auto missing = vsdl("DEMO.BIN -o e.png --set 7");
        QCOMPARE(missing.first, 1);
        QCOMPARE(missing.second,
                 QStringLiteral("DEMO.BIN has no data set 7; its sets are 1, 2.\n"));
        QCOMPARE(vsdl("BAD.BIN -o f.png").second, QStringLiteral("This BIN is corrupt\n"));
        QVERIFY(!folder_->exists(QStringLiteral("f.png")));
        // A fault part-way: the set before it is drawn, and the status says it.
        const auto fault = vsdl("-q END.BIN -o i.png");
        QVERIFY2(fault.first == 1 && fault.second.startsWith("Error 6."), qPrintable(fault.second));
        QVERIFY(!QImage(folder_->file(QStringLiteral("i.png"))).isNull());
        // The BIN file itself, by a link, is refused even with --force.
        QVERIFY(QFile::link(folder_->file(QStringLiteral("DEMO.BIN")),
                            folder_->file(QStringLiteral("j.png"))));
        QCOMPARE(vsdl("DEMO.BIN -o j.png --force").first, 2);
        QVERIFY(QImage(folder_->file(QStringLiteral("DEMO.BIN"))).isNull());
        // A name that is no UTF-8 is checked and written under the same bytes (removed here:
        // QTemporaryDir cannot remove what it cannot name).
        QVERIFY(folder_->write(QStringLiteral("k\uFFFD.png"), "mine"));
        QCOMPARE(vsdl("-q DEMO.BIN -o \"$(printf 'k\\376.png')\" && rm \"$(printf 'k\\376.png')\"")
                     .first,
                 0);
        QCOMPARE(folder_->read(QStringLiteral("k\uFFFD.png")), QByteArray("mine"));
    }
};

QTEST_MAIN(TestViewData)
#include "tst_frmViewData.moc"
