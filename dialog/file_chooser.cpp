#include "dialog/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString FileDialogPicker::PickFile(QWidget* parent, const QString& title, const QString& directory,
                                   const QStringList& nameFilters) {
  return PickFileNamed(parent, title, directory, nameFilters, QString());
}

QString FileDialogPicker::PickFileNamed(QWidget* parent, const QString& title,
                                        const QString& directory, const QStringList& nameFilters,
                                        const QString& proposedName) {
  QFileDialog dialog(parent, title, directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Qt's own dialog behaves the same on every desktop, including taking a new file name.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(nameFilters);
  if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen.first());
}

QString FilePicker::PickSaveFile(QWidget* parent, const QString& title, const QString& directory,
                                 const QStringList& nameFilters, QString& chosenFilter) {
  const QString path = PickFile(parent, title, directory, nameFilters);
  const QString suffix = QStringLiteral("*.") + QFileInfo(path).suffix().toLower();
  chosenFilter = nameFilters.value(0);
  for (const QString& filter : nameFilters) {
    if (filter.section(QLatin1Char('('), 1).chopped(1).split(QLatin1Char(' ')).contains(suffix)) {
      chosenFilter = filter;
      break;
    }
  }
  return path;
}

QString FileDialogPicker::PickSaveFile(QWidget* parent, const QString& title,
                                       const QString& directory, const QStringList& nameFilters,
                                       QString& chosenFilter) {
  QFileDialog dialog(parent, title, directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);  // asks before an existing file is replaced
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(nameFilters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  chosenFilter = dialog.selectedNameFilter();
  return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

CFileChooser::CFileChooser(FilePicker& picker) : m_picker(picker) {}

void CFileChooser::SetInitialDir(const QString& directory, const QString& fallbackPath) {
  m_initialDir = directory;
  m_fallbackPath = fallbackPath;
}

void CFileChooser::SetFilter(const QStringList& nameFilters) { m_nameFilters = nameFilters; }

QString CFileChooser::StartDirectory() const {
  // Only an absolute directory counts: "C:\KORVA\POI" on Linux is a file name in the working
  // directory, not the folder the person meant.
  const QFileInfo initial(m_initialDir);
  if (!m_initialDir.isEmpty() && initial.isAbsolute() && initial.isDir()) {
    return initial.absoluteFilePath();
  }
  if (!m_fallbackPath.trimmed().isEmpty()) {
    const QFileInfo fallback(m_fallbackPath);
    const QDir folder =
        fallback.isDir() ? QDir(fallback.absoluteFilePath()) : fallback.absoluteDir();
    if (folder.exists()) return folder.absolutePath();
  }
  return QDir::homePath();
}

QString CFileChooser::Choose(QWidget* parent) const {
  if (m_proposedName.isEmpty()) {
    return m_picker.PickFile(parent, QStringLiteral("Browse"), StartDirectory(), m_nameFilters);
  }
  return m_picker.PickFileNamed(parent, QStringLiteral("Browse"), StartDirectory(), m_nameFilters,
                                m_proposedName);
}
