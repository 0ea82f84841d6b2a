#include "widgets/FileDialog.h"

#include "widgets/Modal.h"

#include <QFileDialog>

namespace qv {

QString chooseFileToOpen(QWidget* parent, const QString& caption, const QStringList& filters, const QString& folder)
{
    QFileDialog dialog(parent, caption, folder);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    // The desktop's own chooser would ignore the program's language and the hook.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString chooseFileToSave(QWidget* parent, const QString& caption, const QStringList& filters,
                         const QString& suggested)
{
    QFileDialog dialog(parent, caption);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Qt's own question would not go through the modal hook; the caller asks.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("dat"));
    dialog.selectFile(suggested);
    if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace qv
