#include "forms/frmViewData.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cstdint>
#include <memory>
#include <string>

#include "chart/ReadingsChart.h"
#include "common/Paths.h"
#include "common/modGlobals.h"
#include "conversion/modConvert.h"
#include "forms/Controls.h"
#include "forms/EventYield.h"
#include "forms/Geometry.h"
#include "forms/PathLabel.h"
#include "workbook/Workbook.h"

using vsdl::forms::FromStd;

namespace {

const char* const kChooseText = "Choose a BIN file with Browse.";
const char* const kPictureFilter = "PNG Picture (*.png)|*.png|SVG Picture (*.svg)|*.svg";
const char* const kExportFilter =
    "CSV File (*.csv)|*.csv|JSON File (*.json)|*.json|JSON Lines (*.jsonl)|*.jsonl|"
    "All File (*.*)|*.*";
const char* const kExportOrWorkbookFilter =
    "CSV File (*.csv)|*.csv|Excel Workbook (*.xlsx)|*.xlsx|JSON File (*.json)|*.json|"
    "JSON Lines (*.jsonl)|*.jsonl|All File (*.*)|*.*";
// Slices of the whole span kept in memory: finer than the screen's columns, so that the first
// zoom steps draw from them; narrower views read their records again from the file.
constexpr int kColumns = 16384;

// The chart view's own zoom: the rubber band and the keys zoom the time axis only, so that the
// readings keep their scale; right click and "-" zoom out, "0" and Home show everything.
class TimeChartView final : public QChartView {
  public:
    TimeChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
        setRubberBand(QChartView::HorizontalRubberBand);
        setRenderHint(QPainter::Antialiasing);
        setFocusPolicy(Qt::StrongFocus);
        // The keys zoom only with the focus here: a frame in the highlight colour shows it.
        setStyleSheet(
            QStringLiteral("QChartView { border: 2px solid transparent; }"
                           "QChartView:focus { border: 2px solid palette(highlight); }"));
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Plus:
            case Qt::Key_Equal:
                vsdl::chart::ZoomTime(*chart(), 2.0);
                break;
            case Qt::Key_Minus:
                vsdl::chart::ZoomTime(*chart(), 0.5);
                break;
            case Qt::Key_Left:
                vsdl::chart::ZoomTime(*chart(), 1.0, -0.25);
                break;
            case Qt::Key_Right:
                vsdl::chart::ZoomTime(*chart(), 1.0, 0.25);
                break;
            case Qt::Key_0:
            case Qt::Key_Home:
                vsdl::chart::ResetZoom(*chart());
                break;
            default:
                QChartView::keyPressEvent(event);
                return;
        }
        event->accept();
    }
    void wheelEvent(QWheelEvent* event) override {
        vsdl::chart::ZoomTime(*chart(), event->angleDelta().y() > 0 ? 1.25 : 0.8);
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) {
            vsdl::chart::ZoomTime(*chart(), 0.5);
            event->accept();
            return;
        }
        QChartView::mouseReleaseEvent(event);
    }
};

QString SetText(const vsdl::conversion::PlotSet& set) {
    QString text = FromStd(set.Label()) + QStringLiteral("  (%1 %2")
                                              .arg(set.records)
                                              .arg(set.records == 1 ? QStringLiteral("record")
                                                                    : QStringLiteral("records"));
    if (set.outOfRange > 0) text += QStringLiteral(", %1 out of range").arg(set.outOfRange);
    return text + QLatin1Char(')');
}

}  // namespace

frmViewData::frmViewData(const vsdl::forms::FormContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    BuildControls();
    lblFullPath->setPath(QDir::toNativeSeparators(FromStd(gLastBinPath)));
    UpdateButtons();
}

frmViewData::~frmViewData() = default;

void frmViewData::BuildControls() {
    setObjectName(QStringLiteral("frmViewData"));
    setWindowTitle(QStringLiteral("View Data"));
    setModal(true);
    vsdl::forms::SetDialogFrame(this);
    setSizeGripEnabled(true);

    Label1 = new QLabel(QStringLiteral("BIN file :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    lblFullPath = new vsdl::forms::PathLabel(this);
    lblFullPath->setObjectName(QStringLiteral("lblFullPath"));
    // A long path is drawn shortened: it must not widen the window past the screen.
    lblFullPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblFullPath->setMinimumWidth(120);
    lblFullPath->setAccessibleName(QStringLiteral("BIN file"));
    const auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdBrowse = button("cmdBrowse", QStringLiteral("&Browse"));

    lstSets = new QListWidget(this);
    lstSets->setObjectName(QStringLiteral("lstSets"));
    lstSets->setMaximumHeight(lstSets->fontMetrics().height() * 5);
    lstSets->setAccessibleName(QStringLiteral("Data sets"));
    connect(lstSets, &QListWidget::itemChanged, this, [this] { ShowChosenSets(); });

    chart_ = new QChart();
    chart_->setObjectName(QStringLiteral("chart"));
    chtReadings = new TimeChartView(chart_, this);  // owns the chart
    chtReadings->setObjectName(QStringLiteral("chtReadings"));
    chtReadings->setMinimumSize(720, 380);
    chtReadings->setAccessibleName(QStringLiteral("Chart of the readings"));
    chtReadings->setAccessibleDescription(
        QStringLiteral("+ and - zoom the time, the arrow keys move it, Home shows everything"));

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setAccessibleName(QStringLiteral("Status"));
    prgReading = new QProgressBar(this);
    prgReading->setObjectName(QStringLiteral("prgReading"));
    prgReading->setRange(0, 1000);
    prgReading->setTextVisible(false);
    prgReading->setAccessibleName(QStringLiteral("Reading progress"));
    prgReading->hide();

    cmdResetZoom = button("cmdResetZoom", QStringLiteral("Reset &Zoom"));
    cmdSavePicture = button("cmdSavePicture", QStringLiteral("Save &Picture..."));
    cmdExport = button("cmdExport", QStringLiteral("&Export..."));
    cmdClose = button("cmdClose", QStringLiteral("&Close"));
    cmdClose->setDefault(true);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmViewData::cmdBrowse_Click);
    connect(cmdResetZoom, &QPushButton::clicked, this, &frmViewData::cmdResetZoom_Click);
    connect(cmdSavePicture, &QPushButton::clicked, this, &frmViewData::cmdSavePicture_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmViewData::cmdExport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmViewData::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(lblFullPath, 1);
    top->addWidget(cmdBrowse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdResetZoom);
    bottom->addWidget(cmdSavePicture);
    bottom->addWidget(cmdExport);
    bottom->addStretch(1);
    bottom->addWidget(cmdClose);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(lstSets);
    all->addWidget(chtReadings, 1);
    all->addWidget(lblStatus);
    all->addWidget(prgReading);
    all->addLayout(bottom);
    setTabOrder(cmdClose, chtReadings);
    resize(980, 680);
}

void frmViewData::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    cmdClose->setFocus();
    // Once, and not when a file was read before the window was shown.
    if (loadedOnShow_ || !path_.isEmpty()) return;
    loadedOnShow_ = true;
    // Never larger than the screen it opens on.
    if (const QScreen* screen = this->screen()) {
        const QSize room = screen->availableGeometry().size() - (frameSize() - size());
        resize(size().boundedTo(room));
    }
    vsdl::forms::CentreOnScreen(this);
    // The last BIN file is read once the window is up, so that its bar can be seen.
    if (!gLastBinPath.empty()) {
        QTimer::singleShot(0, this, [this] { LoadFile(FromStd(gLastBinPath)); });
    } else {
        lblStatus->setText(QString::fromLatin1(kChooseText));
    }
}

vsdl::conversion::ConvertProgress frmViewData::BarProgress() {
    auto yield = std::make_shared<vsdl::forms::EventYield>();
    return [this, yield](std::int64_t read, std::int64_t length) {
        (*yield)(
            [&] { prgReading->setValue(length > 0 ? static_cast<int>(read * 1000 / length) : 0); });
    };
}

void frmViewData::LoadFile(const QString& path) {
    if (reading_ || exporting_) return;
    path_ = QDir::toNativeSeparators(path);
    lblFullPath->setPath(path_);
    reading_ = true;
    stop_ = false;
    UpdateButtons();
    lstSets->clear();
    vsdl::chart::FillReadingsChart(*chart_, {});
    lblStatus->setText(QStringLiteral("Reading %1 ...").arg(QFileInfo(path_).fileName()));
    prgReading->setValue(0);
    prgReading->show();

    data_ = vsdl::conversion::LoadPlotData(path_.toStdString(), kColumns, BarProgress(), &stop_);
    reading_ = false;
    prgReading->setAccessibleName(QStringLiteral("Reading progress"));
    prgReading->hide();
    if (closeWhenRead_) {
        QDialog::reject();
        return;
    }

    lstSets->blockSignals(true);
    for (const vsdl::conversion::PlotSet& set : data_.sets) {
        auto* item = new QListWidgetItem(SetText(set), lstSets);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(lstSets->count() == 1 ? Qt::Checked : Qt::Unchecked);
    }
    lstSets->blockSignals(false);
    ShowChosenSets();
    UpdateButtons();
    if (data_.status.outcome != vsdl::conversion::ConvertOutcome::Completed) {
        context_.Messages().Show(this, FromStd(data_.status.message));
    }
}

void frmViewData::ShowChosenSets() {
    std::vector<const vsdl::conversion::PlotSet*> chosen;
    for (int i = 0; i < lstSets->count(); ++i) {
        if (lstSets->item(i)->checkState() == Qt::Checked) {
            chosen.push_back(&data_.sets[static_cast<std::size_t>(i)]);
        }
    }
    chart_->setTitle(QFileInfo(path_).fileName());
    vsdl::chart::FillReadingsChart(
        *chart_, chosen,
        {path_.toStdString(), [this](const QString& error) { lblStatus->setText(error); }});
    QString text;
    if (data_.sets.empty()) {
        text = path_.isEmpty() ? QString::fromLatin1(kChooseText)
                               : QStringLiteral("The file holds no data set.");
    } else if (chosen.empty()) {
        text = QStringLiteral("Tick a data set in the list to see it.");
    } else {
        text = QStringLiteral(
            "Drag across the chart to zoom in on a time; right click, - or "
            "the wheel zooms out; Reset Zoom shows everything.");
        for (const auto* set : chosen) {
            if (set->thinned) {
                text += QStringLiteral(
                    " Long sets are drawn with the lowest and highest reading of each "
                    "column of the chart; a zoomed view reads its records from the file.");
                break;
            }
        }
    }
    lblStatus->setText(text);
}

void frmViewData::UpdateButtons() {
    const bool idle = !reading_ && !exporting_;
    const bool haveSets = idle && !data_.sets.empty();
    cmdBrowse->setEnabled(idle);
    cmdResetZoom->setEnabled(haveSets);
    cmdSavePicture->setEnabled(haveSets);
    cmdExport->setEnabled(idle && !path_.isEmpty() &&
                          data_.status.outcome != vsdl::conversion::ConvertOutcome::Corrupt);
}

void frmViewData::cmdBrowse_Click() {
    if (context_.fileDialogs == nullptr || reading_ || exporting_) return;
    const auto split = vsdl::paths::Split(path_.toStdString());
    const std::optional<QString> chosen = context_.fileDialogs->OpenFile(
        this,
        {FromStd(split.folder), FromStd(split.name), QString::fromLatin1(vsdl::forms::kBinFilter)});
    if (!chosen || chosen->isEmpty()) return;
    LoadFile(*chosen);
}

void frmViewData::cmdResetZoom_Click() {
    vsdl::chart::ResetZoom(*chart_);
}

void frmViewData::cmdSavePicture_Click() {
    if (context_.fileDialogs == nullptr) return;
    const QFileInfo bin(path_);
    // The dialog adds the chosen filter's suffix before it asks about replacing a file; the name
    // it hands back is written as it stands.
    const std::optional<QString> chosen = context_.fileDialogs->SaveFile(
        this, {bin.absolutePath(), bin.completeBaseName() + QStringLiteral(".png"),
               QString::fromLatin1(kPictureFilter), true});
    if (!chosen || chosen->isEmpty()) return;
    std::string error;
    if (!vsdl::chart::SaveChartPicture(*chart_, QDir::toNativeSeparators(*chosen).toStdString(),
                                       chtReadings->size(), error, path_.toStdString())) {
        context_.Messages().Show(this, FromStd(error));
    }
}

void frmViewData::cmdExport_Click() {
    if (context_.fileDialogs == nullptr || reading_ || exporting_) return;
    const std::string proposed =
        vsdl::conversion::ExportPathFor(path_.toStdString(), vsdl::conversion::ExportFormat::Csv);
    const auto split = vsdl::paths::Split(proposed);
    const std::optional<QString> chosen = context_.fileDialogs->SaveFile(
        this,
        {FromStd(split.folder), FromStd(split.name),
         QString::fromLatin1(vsdl::workbook::Available() ? kExportOrWorkbookFilter : kExportFilter),
         true});
    if (!chosen || chosen->isEmpty()) return;
    const std::string target = QDir::toNativeSeparators(*chosen).toStdString();

    // A large image takes seconds: the bar moves, the window stays alive and Esc stops it.
    const QString status = lblStatus->text();
    exporting_ = true;
    stop_ = false;
    UpdateButtons();
    lblStatus->setText(QStringLiteral("Exporting to %1 ... Esc stops it.")
                           .arg(FromStd(vsdl::paths::Split(target).name)));
    prgReading->setValue(0);
    prgReading->show();
    const vsdl::conversion::ExportFormat format = vsdl::conversion::ExportFormatFor(target);
    const vsdl::conversion::ConvertResult result =
        format == vsdl::conversion::ExportFormat::Xlsx
            ? vsdl::workbook::RunWorkbookExport(path_.toStdString(), target, BarProgress(),
                                                /*replaceExisting=*/true, &stop_)
            : vsdl::conversion::RunExport(path_.toStdString(), target, format, BarProgress(),
                                          /*replaceExisting=*/true, &stop_);
    exporting_ = false;
    prgReading->hide();
    UpdateButtons();
    lblStatus->setText(result.stopped ? FromStd(result.message) : status);
    if (!result.stopped) context_.Messages().Show(this, FromStd(result.message));
}

void frmViewData::reject() {
    if (exporting_) {
        // Esc stops the export at its next record; the window stays.
        stop_ = true;
        return;
    }
    if (reading_) {
        // The reading stops at its next record; the window closes when it has returned.
        stop_ = true;
        closeWhenRead_ = true;
        return;
    }
    QDialog::reject();
}
