// The window's playback of live output: Play, Pause and Stop on the Live page, the slider that
// shows where the receiver is on the track's round and seeks when moved, the speed-up changed while
// the track runs, and "Start from this point" on the source table.
#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <cmath>

#include "base/number_text.h"
#include "dialog/track_dlg.h"

namespace {

constexpr int kSliderSteps = 1000;

// "h:mm:ss" of a time in milliseconds.
QString ClockText(double ms) {
  const auto seconds = static_cast<long long>(std::floor(ms / 1000.0));
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QLayout* CTrackDlg::BuildPlaybackBar(QWidget* parent) {
  m_liveSlider = new QSlider(Qt::Horizontal, parent);
  m_liveSlider->setObjectName(QStringLiteral("liveSlider"));
  m_liveSlider->setRange(0, kSliderSteps);
  m_liveSlider->setEnabled(false);
  m_liveSlider->setToolTip(QStringLiteral("Where the receiver is on the track: drag to seek"));
  auto* label = new QLabel(QStringLiteral("&Track time"), parent);
  label->setBuddy(m_liveSlider);
  m_liveTime = new QLabel(parent);
  m_liveTime->setObjectName(QStringLiteral("liveTime"));
  auto* bar = new QHBoxLayout;
  bar->addWidget(label);
  bar->addWidget(m_liveSlider, 1);
  bar->addWidget(m_liveTime);
  return bar;
}

void CTrackDlg::ConnectPlayback() {
  connect(m_livePause, &QPushButton::clicked, this, &CTrackDlg::OnPauseLive);
  connect(m_liveSlider, &QSlider::sliderReleased, this, &CTrackDlg::SeekLive);
  // A click beside the handle or a key moves it without a drag.
  connect(m_liveSlider, &QSlider::valueChanged, this, [this] {
    if (!m_showingPlayback && !m_liveSlider->isSliderDown()) SeekLive();
  });
  connect(m_speedupEdit, &QLineEdit::editingFinished, this, &CTrackDlg::ChangeLiveSpeedup);
  m_startFromPoint = new QAction(QStringLiteral("Start from this point"), m_ctlSourceList);
  m_startFromPoint->setObjectName(QStringLiteral("startFromPoint"));
  m_ctlSourceList->addAction(m_startFromPoint);
  m_ctlSourceList->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(m_startFromPoint, &QAction::triggered, this, [this] {
    const QModelIndex current = m_ctlSourceList->currentIndex();
    if (current.isValid()) StartLiveFrom(static_cast<std::size_t>(current.row()));
  });
}

void CTrackDlg::OnPauseLive() {
  if (!m_live || !m_live->Running() || !m_playback) return;
  m_playback->Pause();
  ShowLiveRunning(true);
}

void CTrackDlg::ShowPlayback() {
  const bool running = m_live && m_live->Running() && m_playback;
  const wayloom::PlaybackPosition position =
      running ? m_playback->Position() : wayloom::PlaybackPosition{};
  m_liveSlider->setEnabled(running && position.seekable);
  if (!position.seekable) {
    m_liveTime->clear();
    return;
  }
  m_liveTime->setText(ClockText(position.roundMs) + QStringLiteral(" of ") +
                      ClockText(position.lengthMs));
  if (m_liveSlider->isSliderDown()) return;
  m_showingPlayback = true;
  m_liveSlider->setValue(
      position.lengthMs > 0.0
          ? static_cast<int>(std::lround(position.roundMs / position.lengthMs * kSliderSteps))
          : 0);
  m_showingPlayback = false;
}

void CTrackDlg::SeekLive() {
  if (!m_live || !m_live->Running() || !m_playback) return;
  m_playback->Seek({wayloom::SeekTarget::Kind::kFraction,
                    static_cast<double>(m_liveSlider->value()) / kSliderSteps});
}

void CTrackDlg::ChangeLiveSpeedup() {
  if (!m_live || !m_live->Running() || !m_playback) return;
  QString text = m_speedupEdit->text().trimmed();
  // The window takes a decimal comma wherever it takes a decimal point.
  if (!text.contains(QLatin1Char('.'))) text.replace(QLatin1Char(','), QLatin1Char('.'));
  if (!m_playback->SetSpeedup(wayloom::ParsePlainDecimal(text.toStdString()))) {
    m_prompter.ShowMessage("'Speed-up' must be a number above 0 (it was \"" +
                           m_speedupEdit->text().toStdString() + "\")");
  }
}
