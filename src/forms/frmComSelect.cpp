#include "forms/frmComSelect.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <memory>

#include "common/Settings.h"
#include "download/PortNames.h"
#include "forms/Controls.h"
#include "forms/Geometry.h"

using vsdl::forms::TwipsRect;

namespace {

constexpr std::int16_t kFirstProbedPort = 1;
constexpr std::int16_t kLastProbedPort = 5;

QString AnyPortText() {
    return QString::fromLatin1(vsdl::settings::kAnyPort.data(),
                               static_cast<qsizetype>(vsdl::settings::kAnyPort.size()));
}

const char* const kAnyPortDetails =
    "every serial port; the download takes the one the "
    "instrument starts on";

// "COM3: /dev/ttyUSB2, FT232R USB UART, serial A1B2C3" in the open list; the entry itself stays
// the bare number that is stored.
QString ListText(const QString& entry, const QString& details) {
    if (details.isEmpty()) return entry;
    const bool any = entry == AnyPortText();
    return (any ? QStringLiteral("Any port") : QStringLiteral("COM") + entry) +
           QStringLiteral(": ") + details;
}

class PortListDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text =
            ListText(index.data().toString(), index.data(frmComSelect::kDetailsRole).toString());
    }
};

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

    cboPortOptions->setItemDelegate(new PortListDelegate(cboPortOptions));
    // The box shows what the entry in it is, as far as the list knows.
    lblPortDevice = label("lblPortDevice", QString(), TwipsRect(240, 1425, 6315, 240, this));
    connect(cboPortOptions, &QComboBox::currentTextChanged, this, &frmComSelect::ShowDetails);

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
    const std::string saved =
        vsdl::settings::ReadSerialPortText(context_.SettingsFolder().toStdString());
    cboPortOptions->clear();
    ProbePorts();
    const QString text = saved.empty() ? QString::fromUtf8(vsdl::settings::kDefaultPort.data(),
                                                           vsdl::settings::kDefaultPort.size())
                                       : QString::fromStdString(saved);
    const int index = vsdl::settings::IsAnyPort(text.toStdString())
                          ? cboPortOptions->findText(AnyPortText())
                          : cboPortOptions->findText(text);
    if (index >= 0) {
        cboPortOptions->setCurrentIndex(index);
    } else {
        cboPortOptions->setCurrentIndex(-1);
        cboPortOptions->setEditText(text);
    }
    cboPortOptions->lineEdit()->selectAll();
    ShowDetails(cboPortOptions->currentText());
}

void frmComSelect::ShowDetails(const QString& text) {
    const int index = vsdl::settings::IsAnyPort(text.toStdString())
                          ? cboPortOptions->findText(AnyPortText())
                          : cboPortOptions->findText(text.trimmed());
    const QString details =
        index < 0 ? QString()
                  : ListText(cboPortOptions->itemText(index),
                             cboPortOptions->itemData(index, kDetailsRole).toString());
    lblPortDevice->setToolTip(details);
    lblPortDevice->setText(
        lblPortDevice->fontMetrics().elidedText(details, Qt::ElideRight, lblPortDevice->width()));
}

// Lists the ports among COM1 to COM5, and then those of the system beyond them, that open right
// now; a port that does not open is left out without a message. Each port is closed again at
// once. "any" comes last.
void frmComSelect::ProbePorts() {
    const std::unique_ptr<vsdl::download::IPortProbe> probe =
        context_.makePortProbe ? context_.makePortProbe() : nullptr;
    if (probe) {
        std::vector<std::int16_t> numbers;
        for (std::int16_t n = kFirstProbedPort; n <= kLastProbedPort; ++n) numbers.push_back(n);
        for (const std::int16_t n : probe->PortsBeyond(kLastProbedPort)) numbers.push_back(n);
        for (const std::int16_t n : numbers) {
            probe->SetPortNumber(n);
            probe->Open();
            if (!probe->IsOpen()) continue;
            const std::string details =
                vsdl::download::PortDetails(probe->DeviceName(), probe->Description(), {}, {});
            probe->Close();
            cboPortOptions->addItem(QString::number(n));
            const int added = cboPortOptions->count() - 1;
            cboPortOptions->setItemData(added, QString::fromStdString(details), kDetailsRole);
            if (!details.empty()) {
                cboPortOptions->setItemData(added, QString::fromStdString(details),
                                            Qt::ToolTipRole);
            }
        }
    }
    cboPortOptions->addItem(AnyPortText());
    cboPortOptions->setItemData(cboPortOptions->count() - 1, QString::fromLatin1(kAnyPortDetails),
                                kDetailsRole);
    // The open list is as wide as its longest line, however narrow the box.
    int widest = cboPortOptions->width();
    for (int i = 0; i < cboPortOptions->count(); ++i) {
        const QString line = ListText(cboPortOptions->itemText(i),
                                      cboPortOptions->itemData(i, kDetailsRole).toString());
        widest = std::max(widest, cboPortOptions->fontMetrics().horizontalAdvance(line) + 40);
    }
    cboPortOptions->view()->setMinimumWidth(widest);
}

void frmComSelect::cmdOK_Click() {
    const QString text = cboPortOptions->currentText();
    if (vsdl::settings::IsAnyPort(text.toStdString())) {
        const vsdl::settings::WriteResult written =
            vsdl::settings::WriteAnyPort(context_.SettingsFolder().toStdString());
        if (!written.ok) {
            context_.Messages().Show(
                this, QString::fromStdString(vsdl::settings::WriteFailureMessage(written)));
            return;
        }
    } else if (!text.isEmpty()) {
        const std::optional<std::int32_t> port = vsdl::settings::PortEntry(text.toStdString());
        if (!port) {
            context_.Messages().Show(
                this, QStringLiteral("The COM port must be a number, such as 1 or 3, or any."));
            return;
        }
        const vsdl::settings::WriteResult written =
            vsdl::settings::WriteSerialPort(context_.SettingsFolder().toStdString(), *port);
        if (!written.ok) {
            context_.Messages().Show(
                this, QString::fromStdString(vsdl::settings::WriteFailureMessage(written)));
            return;
        }
    }
    accept();
}
