#include "forms/FormContext.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QUrl>

#include "common/AppInfo.h"
#include "download/KeptDownloads.h"
#include "forms/Geometry.h"

namespace vsdl::forms {
namespace {

// "Binary File (*.BIN)|*.BIN|All File (*.*)|*.*" -> the descriptions, which already carry their
// patterns, as Qt's ";;"-separated filter list.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList descriptions;
    for (qsizetype i = 0; i < parts.size(); i += 2) descriptions << parts[i];
    return descriptions.join(QStringLiteral(";;"));
}

// The suffix a filter's first pattern asks for: "SVG Picture (*.svg)" -> "svg"; empty for
// "All File (*.*)".
QString FilterSuffix(const QString& filter) {
    const qsizetype from = filter.indexOf(QStringLiteral("(*."));
    if (from < 0) return {};
    QString suffix = filter.mid(from + 3);
    const qsizetype end = suffix.indexOf(QRegularExpression(QStringLiteral("[ ;)]")));
    if (end >= 0) suffix.truncate(end);
    return suffix.contains(QLatin1Char('*')) ? QString() : suffix;
}

// Qt's own dialog asks about replacing the name as typed; with suffixFromFilter the suffix is
// added first, so that the question names the file that is written.
class FileDialog final : public QFileDialog {
  public:
    FileDialog(QWidget* parent, const FileDialogRequest& request, AcceptMode mode)
        : QFileDialog(parent), suffixFromFilter_(request.suffixFromFilter) {
        // Qt's own dialog matches the filter patterns without regard to letter case, so
        // run1.bin is listed under "*.BIN" on Linux as well; the native dialogs do not promise
        // that.
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(mode);
        setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
        setNameFilters(QtFilter(request.filter).split(QStringLiteral(";;")));
        if (!request.folder.isEmpty()) setDirectory(request.folder);
        if (!request.name.isEmpty()) selectFile(request.name);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        const QString suffix = FilterSuffix(selectedNameFilter());
        if (suffixFromFilter_ && files.size() == 1 && !suffix.isEmpty()) {
            const QFileInfo file(files.first());
            bool known = false;
            for (const QString& filter : nameFilters()) {
                const QString own = FilterSuffix(filter);
                known = known ||
                        (!own.isEmpty() && file.suffix().compare(own, Qt::CaseInsensitive) == 0);
            }
            if (!known && !file.isDir()) selectFile(files.first() + QLatin1Char('.') + suffix);
        }
        QFileDialog::accept();
    }

  private:
    bool suffixFromFilter_;
};

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request,
                                     QFileDialog::AcceptMode mode, const QString& keptFolder) {
    FileDialog dialog(parent, request, mode);
    // The kept downloads in the side bar, and where a dialog with no folder of its own starts.
    if (!keptFolder.isEmpty() && QFileInfo(keptFolder).isDir()) {
        dialog.setSidebarUrls(dialog.sidebarUrls() << QUrl::fromLocalFile(keptFolder));
        if (request.folder.isEmpty()) dialog.setDirectory(keptFolder);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return QString();
    return files.first();
}

}  // namespace

namespace {

class NoMessages final : public IMessages {
  public:
    void Show(QWidget*, const QString&) override {}
};

}  // namespace

QString FormContext::KeptFolder() const {
    return QString::fromStdString(vsdl::download::KeptFolder(dataFolder.toStdString()));
}

IMessages& FormContext::Messages() const {
    static NoMessages none;
    return messages != nullptr ? *messages : none;
}

std::unique_ptr<QMessageBox> QtMessages::Make(QWidget* parent, const QString& text) {
    auto box = std::make_unique<QMessageBox>(parent);
    const QString title = QString::fromUtf8(vsdl::appinfo::kTitle.data(),
                                            static_cast<qsizetype>(vsdl::appinfo::kTitle.size()));
    box->setWindowTitle(title);
    box->setIcon(QMessageBox::NoIcon);
    box->setText(text);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    // Some styles give the standard buttons an icon (a green tick on OK); a message has none.
    box->button(QMessageBox::Ok)->setIcon(QIcon());
    SetDialogFrame(box.get());
    // Wide enough for the whole title in a title bar, whatever the text: the box sizes itself to
    // its text alone, so a short message would cut the title off.
    QFont titleFont = box->font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) + kTitleBarExtras;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

void QtMessages::Show(QWidget* parent, const QString& text) {
    Make(parent, text)->exec();
}

std::optional<QString> QtFileDialogs::OpenFile(QWidget* parent, const FileDialogRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptOpen, keptFolder);
}

std::optional<QString> QtFileDialogs::SaveFile(QWidget* parent, const FileDialogRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptSave, keptFolder);
}

std::unique_ptr<QFileDialog> QtFileDialogs::MakeSaveDialog(QWidget* parent,
                                                           const FileDialogRequest& request) {
    return std::make_unique<FileDialog>(parent, request, QFileDialog::AcceptSave);
}

}  // namespace vsdl::forms
