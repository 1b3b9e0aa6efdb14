#include "dialog/about_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

QIcon WayloomIcon() {
  // The pictures are compiled into a static library; this pulls them into the program.
  static const bool resourcesLoaded = [] {
    Q_INIT_RESOURCE(wayloom);
    return true;
  }();
  (void)resourcesLoaded;
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/wayloom-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Wayloom"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto* picture = new QLabel(this);
  picture->setPixmap(WayloomIcon().pixmap(QSize(48, 48)));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* version = new QLabel(QStringLiteral("Wayloom Version 1.0"), this);
  version->setObjectName(QStringLiteral("versionLabel"));
  version->setTextFormat(Qt::PlainText);
  auto* purpose =
      new QLabel(QStringLiteral("Turns points of interest into an NMEA 0183 track"), this);
  purpose->setObjectName(QStringLiteral("purposeLabel"));
  purpose->setTextFormat(Qt::PlainText);

  // OK is the default button: Enter and Esc both end the box, as does its close box.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->setHorizontalSpacing(2 * fontMetrics().averageCharWidth());
  layout->addWidget(picture, 0, 0, 2, 1);
  layout->addWidget(version, 0, 1);
  layout->addWidget(purpose, 1, 1, Qt::AlignTop);
  layout->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
