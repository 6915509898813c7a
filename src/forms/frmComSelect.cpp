#include "forms/frmComSelect.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "common/Settings.h"
#include "forms/Controls.h"
#include "forms/Geometry.h"

using vsdl::forms::TwipsRect;

namespace {

constexpr std::int16_t kFirstProbedPort = 1;
constexpr std::int16_t kLastProbedPort = 5;

}  // namespace

frmComSelect::frmComSelect(const vsdl::forms::FormContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    BuildControls();
    Form_Load();
}

void frmComSelect::BuildControls() {
    setObjectName(QStringLiteral("frmComSelect"));
    setWindowTitle(QStringLiteral("Serial / COM Port Selection"));
    setModal(true);
    vsdl::forms::SetFixedClientTwips(this, 6690, 2250);

    const auto label = [this](const char* name, const QString& text, QRect rect) {
        return vsdl::forms::MakeLabel(this, name, text, rect);
    };
    Label2 = label("Label2",
                   QStringLiteral("This application communicates to the Data Logger Instrument "
                                  "through a serial (COM) port."),
                   TwipsRect(240, 240, 6315, 195, this));
    // As wide as the line above, so that the prompt stays on one line in today's wider fonts.
    Label1 = label("Label1",
                   QStringLiteral("Select which serial communications (COM) port this "
                                  "application should use:"),
                   TwipsRect(240, 720, 6315, 195, this));
    // A line too long for its label wraps inside the space above the next control.
    vsdl::forms::FitLabelText(Label2, vsdl::forms::Twips(720 - 240, this));
    vsdl::forms::FitLabelText(Label1, vsdl::forms::Twips(1080 - 720, this));

    cboPortOptions = new QComboBox(this);
    cboPortOptions->setObjectName(QStringLiteral("cboPortOptions"));
    cboPortOptions->setEditable(true);
    // Typed text is the port to store, not a new list entry: the list holds probed ports only.
    cboPortOptions->setInsertPolicy(QComboBox::NoInsert);
    cboPortOptions->setGeometry(TwipsRect(2640, 1080, 1455, 315, this));
    cboPortOptions->lineEdit()->setObjectName(QStringLiteral("cboPortOptionsText"));
    cboPortOptions->setAccessibleName(QStringLiteral("COM port"));
    cboPortOptions->setAccessibleDescription(
        QStringLiteral("The number of the serial port the instrument is connected to"));

    cmdOK = vsdl::forms::MakeButton(this, "cmdOK", QStringLiteral("OK"),
                                    TwipsRect(2640, 1680, 1455, 375, this));
    cmdOK->setDefault(true);
    // Focus starts in the port text, the one thing to change; Enter there still presses OK.
    setTabOrder(cboPortOptions, cmdOK);
    cboPortOptions->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmComSelect::cmdOK_Click);
}

void frmComSelect::Form_Load() {
    vsdl::forms::CentreOnScreen(this);
    const std::string saved = vsdl::settings::ReadSerialPortText(context_.dataFolder.toStdString());
    cboPortOptions->clear();
    ProbePorts();
    const QString text = saved.empty() ? QString::fromUtf8(vsdl::settings::kDefaultPort.data(),
                                                           vsdl::settings::kDefaultPort.size())
                                       : QString::fromStdString(saved);
    const int index = cboPortOptions->findText(text);
    if (index >= 0) {
        cboPortOptions->setCurrentIndex(index);
    } else {
        cboPortOptions->setCurrentIndex(-1);
        cboPortOptions->setEditText(text);
    }
    cboPortOptions->lineEdit()->selectAll();
}

// Lists the ports among COM1 to COM5 that open right now; a port that does not open is left
// out without a message. Each port is closed again at once.
void frmComSelect::ProbePorts() {
    if (!context_.makePortProbe) return;
    const std::unique_ptr<vsdl::download::IPortProbe> probe = context_.makePortProbe();
    if (!probe) return;
    for (std::int16_t n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
        probe->SetPortNumber(n);
        probe->Open();
        if (!probe->IsOpen()) continue;
        const std::string device = probe->DeviceName();
        probe->Close();
        cboPortOptions->addItem(QString::number(n));
        if (!device.empty()) {
            cboPortOptions->setItemData(cboPortOptions->count() - 1, QString::fromStdString(device),
                                        Qt::ToolTipRole);
        }
    }
}

void frmComSelect::cmdOK_Click() {
    const QString text = cboPortOptions->currentText();
    if (!text.isEmpty()) {
        const std::optional<std::int32_t> port = vsdl::settings::PortEntry(text.toStdString());
        if (!port) {
            context_.Messages().Show(
                this, QStringLiteral("The COM port must be a number, such as 1 or 3."));
            return;
        }
        const vsdl::settings::WriteResult written =
            vsdl::settings::WriteSerialPort(context_.dataFolder.toStdString(), *port);
        if (!written.ok) {
            context_.Messages().Show(
                this, QString::fromStdString(vsdl::settings::WriteFailureMessage(written)));
            return;
        }
    }
    accept();
}
