// The windows `make screenshots` renders into docs/screenshots/<name>.png, in this order.
//
// To add a window (or another phase of one), include its header and add one entry:
//
//     {"frmX", [](Shot& s) { return std::make_unique<frmX>(s.context); }},
//
// Before building the window an entry may prepare what it shows: write settings files with
// s.WriteFile("serialport.cfg", "3\r\n"), set program-wide variables (they start as at program
// start), or put files into s.programFolder. After building it, an entry may drive the window
// into a later phase (call a handler, fill a label) before it is returned. The window must not
// be shown or exec()'d here, and it must not wait for anything: it is shown without a parent,
// laid out, grabbed with its caption drawn around it, and closed.
//
// The context answers as follows: the port probe finds COM1, COM2 and COM3 free (each named
// /dev/ttyUSB<n-1>, the first two USB adapters with a maker and serial number) and COM7 beyond
// them, makeDownloadPort gives nothing, a message is printed instead of shown,
// and every file dialog is cancelled.
#include "Screens.h"

#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QLabel>

#include "chart/ReadingsChart.h"
#include "common/modGlobals.h"
#include "forms/frmAbout.h"
#include "forms/frmComSelect.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmConvertBINtoPRN.h"
#include "forms/frmDownload.h"
#include "forms/frmMain.h"
#include "forms/frmViewData.h"

namespace vsdl::screenshots {

bool Shot::WriteFile(const QString& name, const QByteArray& bytes) const {
    QFile file(programFolder + name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

const std::vector<Screen>& Screens() {
    static const std::vector<Screen> screens = {
        {"frmMain", [](Shot& s) { return std::make_unique<frmMain>(s.context); }},
        {"frmDownload",
         [](Shot& s) {
             auto dialog = std::make_unique<frmDownload>(s.context);
             dialog->lblInstructions->setText(
                 "Please wait for download to complete or press cancel to stop.");
             dialog->lblStatus->setText("Block Received:  12");
             dialog->lblPort->setText("Listening on COM1: /dev/ttyUSB0");
             return dialog;
         }},
        {"frmDownload-save",
         [](Shot& s) {
             gLastBinPath = "/home/lab/fluorometer/2026-12-04/Run1.BIN";
             auto dialog = std::make_unique<frmDownload>(s.context);
             dialog->lblStatus->setText(
                 "Download Finished. Number of Blocks = 38. Number of Bytes = 38211");
             dialog->SwitchToSavePhase();
             return dialog;
         }},
        {"frmConvertBINtoPRN",
         [](Shot& s) {
             gRunMode = 2;
             gLastBinPath = "/home/lab/fluorometer/2026-12-04/Run1.BIN";
             return std::make_unique<frmConvertBINtoPRN>(s.context);
         }},
        {"frmConvertBINtoPRN-converting",
         [](Shot& s) {
             gRunMode = 2;
             gLastBinPath = "/home/lab/fluorometer/2026-12-04/Run1.BIN";
             auto dialog = std::make_unique<frmConvertBINtoPRN>(s.context);
             dialog->ShowConvertingState();
             gFileLength = 38211;
             gBytesRead = 22400;
             dialog->Timer2_Timer();
             return dialog;
         }},
        {"frmComSelect",
         [](Shot& s) {
             s.WriteFile("serialport.cfg", "2\r\n");
             return std::make_unique<frmComSelect>(s.context);
         }},
        {"frmComSelect-list",
         [](Shot& s) {
             s.WriteFile("serialport.cfg", "any\r\n");
             return std::make_unique<frmComSelect>(s.context);
         },
         [](QWidget* window) { static_cast<frmComSelect*>(window)->cboPortOptions->showPopup(); }},
        {"frmViewData",
         [](Shot& s) {
             // The demo's image under the name the other pictures show.
             QFile sample(QStringLiteral(VSDL_SAMPLES_DIR "/DEMO.BIN"));
             if (!sample.open(QIODevice::ReadOnly) || !s.WriteFile("Run1.BIN", sample.readAll())) {
                 return std::unique_ptr<frmViewData>();
             }
             auto dialog = std::make_unique<frmViewData>(s.context);
             dialog->LoadFile(s.programFolder + QStringLiteral("Run1.BIN"));
             dialog->lblFullPath->setPath("/home/lab/fluorometer/2026-12-04/Run1.BIN");
             return dialog;
         }},
        {"frmViewData-zoomed",
         [](Shot& s) {
             // Beside the whole view: the chart with the focus, zoomed in twice, so that the
             // records in view show as points.
             QFile sample(QStringLiteral(VSDL_SAMPLES_DIR "/DEMO.BIN"));
             if (!sample.open(QIODevice::ReadOnly) || !s.WriteFile("Run1.BIN", sample.readAll())) {
                 return std::unique_ptr<frmViewData>();
             }
             auto dialog = std::make_unique<frmViewData>(s.context);
             dialog->LoadFile(s.programFolder + QStringLiteral("Run1.BIN"));
             dialog->lblFullPath->setPath("/home/lab/fluorometer/2026-12-04/Run1.BIN");
             vsdl::chart::ZoomTime(*dialog->chart(), 4.0);
             dialog->chtReadings->setFocus();
             return dialog;
         }},
        {"frmAbout", [](Shot& s) { return std::make_unique<frmAbout>(s.context); }},
        {"frmConfirmOverwrite",
         [](Shot& s) {
             gOverwriteFileName = "/home/lab/fluorometer/2026-12-04/Run1.PRN";
             return std::make_unique<frmConfirmOverwrite>(s.context);
         }},
    };
    return screens;
}

}  // namespace vsdl::screenshots
