#include "forms/FormContext.h"

#include <QFileDialog>
#include <QMessageBox>

#include "common/AppInfo.h"

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
                                     QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    // Qt's own dialog matches the filter patterns without regard to letter case, so run1.bin is
    // listed under "*.BIN" on Linux as well; the native dialogs do not promise that.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(QtFilter(request.filter).split(QStringLiteral(";;")));
    if (!request.folder.isEmpty()) dialog.setDirectory(request.folder);
    if (!request.name.isEmpty()) dialog.selectFile(request.name);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return QString();
    return files.first();
}

}  // namespace

void QtMessages::Show(QWidget* parent, const QString& text) {
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromUtf8(vsdl::appinfo::kTitle.data(),
                                         static_cast<qsizetype>(vsdl::appinfo::kTitle.size())));
    box.setIcon(QMessageBox::NoIcon);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

std::optional<QString> QtFileDialogs::OpenFile(QWidget* parent, const FileDialogRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogs::SaveFile(QWidget* parent, const FileDialogRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

}  // namespace vsdl::forms
