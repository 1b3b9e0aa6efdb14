// The file chooser behind the two Browse buttons.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Whatever actually asks the person for a file. The window uses FileDialogPicker; tests hand the
// window a scripted one, so no real dialog ever waits for a click.
class FilePicker {
 public:
  virtual ~FilePicker() = default;
  // The full path of the file chosen, or an empty string when the person cancelled.
  virtual QString PickFile(QWidget* parent, const QString& title, const QString& directory,
                           const QStringList& nameFilters) = 0;
  // The same, with a file name put forward in the name field; a picker without one ignores it.
  virtual QString PickFileNamed(QWidget* parent, const QString& title, const QString& directory,
                                const QStringList& nameFilters, const QString& proposedName) {
    static_cast<void>(proposedName);
    return PickFile(parent, title, directory, nameFilters);
  }
  // A file to save to, and in chosenFilter the filter chosen; an existing file is chosen only
  // once the person agrees to replace it. A picker without a filter of its own gives the first
  // filter that lists the name's suffix.
  virtual QString PickSaveFile(QWidget* parent, const QString& title, const QString& directory,
                               const QStringList& nameFilters, QString& chosenFilter);
};

// An open-file dialog that also takes the name of a file that does not exist yet: the destination
// is chosen with it too, and whether to overwrite is asked only when the track is written.
class FileDialogPicker : public FilePicker {
 public:
  QString PickFile(QWidget* parent, const QString& title, const QString& directory,
                   const QStringList& nameFilters) override;
  QString PickFileNamed(QWidget* parent, const QString& title, const QString& directory,
                        const QStringList& nameFilters, const QString& proposedName) override;
  QString PickSaveFile(QWidget* parent, const QString& title, const QString& directory,
                       const QStringList& nameFilters, QString& chosenFilter) override;
};

// One use of the chooser: set where it starts and what it lists, then Choose.
class CFileChooser {
 public:
  explicit CFileChooser(FilePicker& picker);

  // The directory the chooser should start in. Where it does not exist, Choose starts in the
  // directory of fallbackPath, and where that does not exist either, in the home directory.
  void SetInitialDir(const QString& directory, const QString& fallbackPath = QString());
  // The file-type filters, each "text (patterns)" or just "patterns"; the first is selected.
  void SetFilter(const QStringList& nameFilters);
  // A file name the chooser puts forward (none unless set).
  void SetProposedName(const QString& name) { m_proposedName = name; }

  // Shows the chooser: the full path chosen, or an empty string when cancelled or failed.
  QString Choose(QWidget* parent) const;

  // The directory Choose starts in.
  QString StartDirectory() const;

 private:
  FilePicker& m_picker;
  QString m_initialDir;
  QString m_fallbackPath;
  QStringList m_nameFilters{QStringLiteral("*.txt *.log")};
  QString m_proposedName;
};
