// CAboutDlg: the About box, and the program's icon.
#pragma once

#include <QDialog>
#include <QIcon>

// The Wayloom icon in every size drawn for it.
QIcon WayloomIcon();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
