#pragma once
// The open-file dialog, Qt's own so that it speaks Chinese everywhere, run
// through execModal so that tests can answer it.
#include <QString>
#include <QStringList>

class QWidget;

namespace qv {

// The chosen file, or an empty string when the dialog was cancelled.
QString chooseFileToOpen(QWidget* parent, const QString& caption, const QStringList& filters,
                         const QString& folder = QString());

// The save-file dialog: the chosen file or an empty string. An existing
// file is not asked about here.
QString chooseFileToSave(QWidget* parent, const QString& caption, const QStringList& filters,
                         const QString& suggested);

}  // namespace qv
