#include "dialog/live_monitor.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <cmath>

#include "base/number_text.h"
#include "dialog/table_model.h"

namespace {

QString Fixed(double value, int decimals) {
  return QString::fromStdString(wayloom::FormatFixed(value, decimals));
}

// HH:MM:SS.mmm of the day the clock is in.
QString ClockText(double clockMs) {
  constexpr std::int64_t kDayMs = 24 * 3600 * 1000;
  const auto ms = static_cast<std::int64_t>(std::floor(clockMs)) % kDayMs;
  const std::int64_t day = ms < 0 ? ms + kDayMs : ms;
  return QStringLiteral("%1:%2:%3.%4")
      .arg(day / 3600000, 2, 10, QLatin1Char('0'))
      .arg(day / 60000 % 60, 2, 10, QLatin1Char('0'))
      .arg(day / 1000 % 60, 2, 10, QLatin1Char('0'))
      .arg(day % 1000, 3, 10, QLatin1Char('0'));
}

}  // namespace

LiveMonitor::LiveMonitor(QWidget* parent)
    : QWidget(parent),
      fix_(new QLabel(this)),
      clients_(new QLabel(this)),
      freeze_(new QCheckBox(QStringLiteral("Free&ze view"), this)),
      sentences_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("liveMonitor"));
  fix_->setObjectName(QStringLiteral("monitorFix"));
  clients_->setObjectName(QStringLiteral("monitorClients"));
  freeze_->setObjectName(QStringLiteral("freezeBox"));
  freeze_->setToolTip(QStringLiteral("Stops the view; the sending goes on"));
  sentences_->setObjectName(QStringLiteral("monitorSentences"));
  for (QLabel* label : {fix_, clients_}) {
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  fix_->setWordWrap(true);
  clients_->setWordWrap(true);
  sentences_->setReadOnly(true);
  sentences_->setLineWrapMode(QPlainTextEdit::NoWrap);
  sentences_->setMaximumBlockCount(static_cast<int>(wayloom::LiveSession::kSentencesKept));
  sentences_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  sentences_->setMinimumHeight(4 * fontMetrics().lineSpacing());
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(fix_, 0, 0, 1, 2);
  layout->addWidget(clients_, 1, 0);
  layout->addWidget(freeze_, 1, 1, Qt::AlignTop);
  layout->addWidget(sentences_, 2, 0, 1, 2);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(2, 1);
  Restart();
}

void LiveMonitor::Restart() {
  seen_ = 0;
  sentences_->clear();
  fix_->setText(QStringLiteral("No fix sent yet."));
  clients_->clear();
}

QString LiveMonitor::FixText(const wayloom::LiveStatus& status) {
  if (!status.hasFix) return QStringLiteral("No fix sent yet.");
  QString text = QStringLiteral("Fix %1 UTC, %2 %3 %4 %5, %6 kn, course %7")
                     .arg(ClockText(status.clockMs))
                     .arg(Fixed(std::fabs(status.latitude), 5))
                     .arg(QLatin1Char(status.latitude < 0 ? 'S' : 'N'))
                     .arg(Fixed(std::fabs(status.longitude), 5))
                     .arg(QLatin1Char(status.longitude < 0 ? 'W' : 'E'))
                     .arg(Fixed(status.speedKnots, 1))
                     .arg(Fixed(status.courseDegrees, 1));
  if (!status.satellites.empty()) {
    text += QStringLiteral(", %1 satellites").arg(TextFromBytes(status.satellites));
  }
  return text;
}

void LiveMonitor::Refresh(const wayloom::LiveStatus& status, wayloom::LiveSession& session) {
  fix_->setText(FixText(status));
  const std::vector<std::string>& addresses = status.counts.clientAddresses;
  QStringList clients;
  for (const std::string& address : addresses) clients << TextFromBytes(address);
  clients_->setText(!status.settings.serve ? QString()
                    : clients.isEmpty()
                        ? QStringLiteral("TCP clients: none connected")
                        : QStringLiteral("TCP clients: ") + clients.join(QStringLiteral(", ")));
  if (freeze_->isChecked()) return;
  std::uint64_t sent = 0;
  const std::vector<std::string> lines = session.SentencesSince(seen_, sent);
  if (lines.empty() && sent == seen_) return;
  QStringList text;
  const std::uint64_t missed = sent - seen_ - lines.size();
  if (missed > 0) text << QStringLiteral("(%1 sentences not shown)").arg(missed);
  for (const std::string& line : lines) text << TextFromBytes(line);
  sentences_->appendPlainText(text.join(QLatin1Char('\n')));
  seen_ = sent;
}
