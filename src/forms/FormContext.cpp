#include "forms/FormContext.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
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

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request,
                                     QFileDialog::AcceptMode mode, const QString& keptFolder) {
    QFileDialog dialog(parent);
    // Qt's own dialog matches the filter patterns without regard to letter case, so run1.bin is
    // listed under "*.BIN" on Linux as well; the native dialogs do not promise that.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(QtFilter(request.filter).split(QStringLiteral(";;")));
    const bool kept = !keptFolder.isEmpty() && QFileInfo(keptFolder).isDir();
    if (kept) dialog.setSidebarUrls(dialog.sidebarUrls() << QUrl::fromLocalFile(keptFolder));
    if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    } else if (kept) {
        dialog.setDirectory(keptFolder);
    }
    if (!request.name.isEmpty()) dialog.selectFile(request.name);
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

}  // namespace vsdl::forms
