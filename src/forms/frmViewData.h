// The View Data window (Tools > View Data, F6): the readings of a BIN file against time, one
// line per data set chosen in a list, with zoom, a picture of the chart and the tidy export. It
// proposes the last BIN file and reads it at once; Browse picks another. It changes neither
// gRunMode, gLastBinPath nor the settings.
#pragma once

#include <QDialog>
#include <vector>

#include "conversion/PlotData.h"
#include "forms/FormContext.h"

class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace vsdl::forms {
class PathLabel;
}

class frmViewData : public QDialog {
    Q_OBJECT

  public:
    explicit frmViewData(const vsdl::forms::FormContext& context, QWidget* parent = nullptr);
    ~frmViewData() override;

    // Controls, named as their objectNames.
    QLabel* Label1 = nullptr;
    vsdl::forms::PathLabel* lblFullPath = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QListWidget* lstSets = nullptr;
    QChartView* chtReadings = nullptr;
    QLabel* lblStatus = nullptr;
    QProgressBar* prgReading = nullptr;
    QPushButton* cmdResetZoom = nullptr;
    QPushButton* cmdSavePicture = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdClose = nullptr;

    QChart* chart() const { return chart_; }
    const std::vector<vsdl::conversion::PlotSet>& sets() const { return data_.sets; }
    // True while a BIN file is being read.
    bool reading() const { return reading_; }
    // True while the tidy export is being written.
    bool exporting() const { return exporting_; }

    // Reads `path` and shows its first data set; a fault is said in a message.
    void LoadFile(const QString& path);

  public slots:
    void cmdBrowse_Click();
    void cmdResetZoom_Click();
    void cmdSavePicture_Click();
    void cmdExport_Click();

  public:
    // Esc and the close box: while a file is read, the reading stops and the window closes.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void ShowChosenSets();
    void UpdateButtons();
    // Moves the bar and lets the events run (Esc among them) every few milliseconds of a job.
    vsdl::conversion::ConvertProgress BarProgress();

    vsdl::forms::FormContext context_;
    QChart* chart_ = nullptr;
    QString path_;
    vsdl::conversion::PlotData data_;
    bool reading_ = false;
    bool exporting_ = false;
    bool stop_ = false;
    bool closeWhenRead_ = false;
    bool loadedOnShow_ = false;
};
