#include "motion/track_engine.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <thread>

#include "base/number_text.h"
#include "outputs/destination.h"
#include "sources/source.h"

namespace wayloom {
namespace {

// Every how many sentence pairs a progress report goes out.
constexpr std::uint64_t kProgressInterval = 4096;

}  // namespace

TrackEngine::TrackEngine(Prompter& prompter, OptionStates& options)
    : m_prompter(prompter), m_options(options) {
  m_batchesAtOnce = std::max<std::size_t>(2, std::thread::hardware_concurrency()) + 1;
}

void TrackEngine::CreateTrack() {
  LoadPoiFile();
  if (m_sourceMustBeRead && m_loadStatus != PoiReadStatus::kOk) {
    m_summary = TrackSummary{};
    m_summary.outcome = m_loadStatus == PoiReadStatus::kStopped ? TrackOutcome::kStoppedReading
                                                                : TrackOutcome::kSourceUnread;
    m_summary.nextClockMs = m_trackStartMs;
    FillSourceTable();
    return;
  }
  WriteChosenTrack();
}

void TrackEngine::RepeatTrack() { WriteChosenTrack(); }

void TrackEngine::WriteChosenTrack() {
  FillSourceTable();
  const bool reorder = m_options.ReorderTicked();
  const bool extraPoints = m_options.ExtraPointsTicked();
  if (reorder && extraPoints) {
    WriteClosestExtraTrack();
  } else if (reorder) {
    WriteClosestTrack();
  } else if (extraPoints) {
    WriteExtraTrack();
  } else {
    WritePlainTrack();
  }
  FillSourceTable();
}

void TrackEngine::LoadPoiFile() {
  FreePoiList();
  PoiList list;
  SourceOptions options = m_sourceChoice;
  if (m_sourceMustBeRead && m_progress) {
    options.stopRequested = [this] { return m_progress->StopRequested(); };
  }
  SourceRead& read = m_sourceRead;
  const SourceStatus status = ReadSource(m_strSourceFile, options, list, read);
  m_sourceUtf16 = read.utf16ByteOrderMark;
  switch (status) {
    case SourceStatus::kNoMemoryForList:
      m_loadStatus = PoiReadStatus::kNoMemoryForList;
      m_prompter.ShowMessage("Argh ! Out of memory making the POI list");
      return;
    case SourceStatus::kCannotOpen:
      m_loadStatus = PoiReadStatus::kCannotOpen;
      m_prompter.ShowFailure("Error can't open the input file\n" + m_strSourceFile, read.error);
      break;
    case SourceStatus::kReadError:
      m_loadStatus = PoiReadStatus::kReadError;
      m_prompter.ShowFailure("Error reading the input file\n" + m_strSourceFile, read.error);
      break;
    case SourceStatus::kOutOfMemory:
      m_loadStatus = PoiReadStatus::kOutOfMemory;
      m_prompter.ShowMessage(
          "Argh! Out of memory making the POI list.\nThe nearby POI list will be incomplete.");
      break;
    case SourceStatus::kRefused:  // a route file that is malformed: FILE:LINE:COLUMN: what
      m_loadStatus = PoiReadStatus::kReadError;
      m_prompter.ShowMessage(read.message);
      break;
    case SourceStatus::kOk:
      m_loadStatus = PoiReadStatus::kOk;
      break;
    case SourceStatus::kStopped:
      m_loadStatus = PoiReadStatus::kStopped;
      break;
  }
  m_poiList = std::make_shared<const PoiList>(std::move(list));
  const bool anyPoint = m_poiList->size() > 1;
  m_dRefLat = anyPoint ? RowPoint(0).latitude : 0.0;
  m_dRefLon = anyPoint ? RowPoint(0).longitude : 0.0;
}

GeoPoint TrackEngine::RowPoint(std::size_t row) const {
  const PoiView point = (*m_poiList)[row];
  return GeoPoint{ParseDecimal(point.szLat), ParseDecimal(point.szLon)};
}

void TrackEngine::FreePoiList() {
  m_poiList.reset();
  m_sourceRead = SourceRead{};
}

void TrackEngine::FillSourceTable() {
  if (m_keepTables) m_sourceTable = SourceRows(m_poiList);
  if (m_poiList) {
    m_dCurLat = m_dRefLat;
    m_dCurLon = m_dRefLon;
  }
}

bool TrackEngine::PlanarOffset(double longitude, double latitude, double& eastMetres,
                               double& northMetres) const {
  return wayloom::PlanarOffset(GeoPoint{m_dCurLat, m_dCurLon}, longitude, latitude, eastMetres,
                               northMetres);
}

void TrackEngine::WritePlainTrack() {
  if (!OpenTrack()) return;
  const std::size_t points = PointCount();
  if (points >= 2) {
    const double stepMs = m_periodSeconds * 1000.0;
    double clockMs = m_trackStartMs;
    for (std::size_t row = 0; row < points; ++row) {
      if (!WritePoint(clockMs, row)) break;
      clockMs += stepMs;
    }
  }
  CloseTrack();
}

bool TrackEngine::OpenTrack() {
  m_periodSeconds = ParseDecimal(m_strTimePeriod);
  if (m_periodSeconds == 0.0) m_periodSeconds = 1.0;
  m_stepMetres = ParseDecimal(m_strStepDistance);
  if (m_stepMetres == 0.0) m_stepMetres = 100.0;
  m_summary = TrackSummary{};
  m_summary.pointsRead = PointCount();
  m_summary.nextClockMs = m_trackStartMs;
  m_trackEnded = false;
  m_lastFixWritten.reset();

  if (!m_writeTrackFile) {
    // Nothing to open: the listener has the track.
  } else if (m_outputStream) {
    m_trackFile.Attach(m_outputStream);
  } else {
    const DestinationOpening opening =
        OpenDestination(m_trackFile, m_strDestFile, m_strSourceFile, m_prompter);
    if (opening != DestinationOpening::kOpen) {
      m_summary.outcome = opening == DestinationOpening::kDeclined ? TrackOutcome::kDeclined
                                                                   : TrackOutcome::kOpenFailed;
      return false;
    }
  }
  // A table of its own: the last track's stays as it is for whoever still shows it.
  m_outputRows = std::make_shared<OutputRows>(m_keepTables ? m_poiList : nullptr, m_rmcDate,
                                              m_periodSeconds * 1000.0);
  return true;
}

void TrackEngine::ResetOutputTable() { m_outputRows = std::make_shared<OutputRows>(); }

void TrackEngine::ListSentences(const SentenceLines& sentences) {
  if (!m_keepTables) return;
  std::string_view text = sentences.Text();
  for (std::size_t end = text.find("\r\n"); end != std::string_view::npos;
       end = text.find("\r\n")) {
    m_outputRows->AddLine(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
}

bool TrackEngine::WritePoint(double clockMs, std::size_t row) {
  if (m_trackEnded) return false;
  NewFix(clockMs).poiIndex = row;
  return FixAdded();
}

bool TrackEngine::WriteExtraPoint(double clockMs, double latitude, double longitude) {
  if (m_trackEnded) return false;
  Fix& fix = NewFix(clockMs);
  fix.latitude = latitude;
  fix.longitude = longitude;
  return FixAdded();
}

Fix& TrackEngine::NewFix(double clockMs) {
  Fix& fix = m_batches.Filling().Add();
  fix.clockMs = clockMs;
  fix.speedKnots = m_dSpeed;
  fix.courseDegrees = m_dCourse;
  return fix;
}

bool TrackEngine::FixAdded() {
  if (m_batches.Filling().Full()) {
    m_batches.Submit(m_rmcDate ? &*m_rmcDate : nullptr, *m_poiList, false);
    WriteFormattedBatches(false);
  }
  return !m_trackEnded;
}

void TrackEngine::WriteFormattedBatches(bool waitForAll) {
  while (m_batches.Pending() > 0 && !m_trackEnded &&
         (waitForAll || m_batches.Pending() >= m_batchesAtOnce || m_batches.OldestReady())) {
    WriteBatch(m_batches.TakeOldest());
  }
}

void TrackEngine::WriteBatch(FixBatch& batch) {
  // The file takes the batch's lines over as they stand, as far as the track gets, unless a
  // listener must see each pair only after it went to the file.
  const bool wholeBatch = m_writeTrackFile && !m_listener;
  const Fix* last = nullptr;  // the last pair built and sent out, written or not
  std::size_t sentOut = 0;
  for (std::size_t i = 0; i < batch.Size() && !m_trackEnded; ++i) {
    const Fix& fix = batch.At(i);
    last = &fix;
    ++sentOut;
    if (m_keepTables) m_outputRows->AddFix(fix);
    if (m_writeTrackFile && !wholeBatch && !m_trackFile.WriteText(batch.Pair(i))) {
      m_trackEnded = true;
      m_summary.outcome = TrackOutcome::kWriteFailed;
      break;
    }
    m_summary.sentencesWritten += 2;
    if (fix.poiIndex != Fix::kNoPoint) ++m_summary.pointsWritten;
    m_summary.nextClockMs = fix.clockMs + m_periodSeconds * 1000.0;
    if (m_listener) Tell(fix, batch.Pair(i));
    if (m_summary.sentencesWritten % (2 * kProgressInterval) == 0) ReportProgress();
    if (m_progress && m_progress->StopRequested()) {
      m_trackEnded = true;
      m_summary.outcome = TrackOutcome::kStopped;
    }
  }
  if (wholeBatch && !m_trackFile.WriteLines(batch.Lines(), batch.LinesSize(sentOut))) {
    m_trackEnded = true;
    m_summary.outcome = TrackOutcome::kWriteFailed;
  }
  if (last) m_lastFixWritten = *last;
}

void TrackEngine::Tell(const Fix& fix, std::string_view pair) {
  if (fix.poiIndex == Fix::kNoPoint) {
    m_listener->OnFix(fix, SentenceLines(pair, 2));
    return;
  }
  // A point of the POI list: its position is that of its texts.
  Fix point = fix;
  const GeoPoint at = RowPoint(fix.poiIndex);
  point.latitude = at.latitude;
  point.longitude = at.longitude;
  m_listener->OnPointReached(fix.poiIndex);
  m_listener->OnFix(point, SentenceLines(pair, 2));
}

void TrackEngine::ReportProgress() {
  if (!m_progress) return;
  TrackProgress progress;
  progress.pointsDone = m_summary.pointsWritten;
  progress.pointsTotal = m_summary.pointsRead;
  progress.sentencesWritten = m_summary.sentencesWritten;
  m_progress->Report(progress);
}

void TrackEngine::SetRmcDate(const std::optional<CalendarDate>& date) { m_rmcDate = date; }

void TrackEngine::CloseTrack() {
  // The last batch is seldom full: it is formatted here, on this thread.
  if (!m_trackEnded && !m_batches.Filling().Empty()) {
    m_batches.Submit(m_rmcDate ? &*m_rmcDate : nullptr, *m_poiList, true);
  }
  WriteFormattedBatches(true);
  m_batches.Clear();
  if (m_lastFixWritten && m_trackEnded) {
    // The sentences formatted ahead of a track that ended early never went out: the course and
    // speed carried to the next track are those of the last pair written.
    m_dSpeed = m_lastFixWritten->speedKnots;
    m_dCourse = m_lastFixWritten->courseDegrees;
  }
  const bool closed = !m_writeTrackFile || m_trackFile.Close();
  if (!closed) m_summary.outcome = TrackOutcome::kWriteFailed;
  if (m_summary.outcome == TrackOutcome::kWriteFailed) {
    // The table shows what the file holds now.
    if (const auto lines = m_trackFile.LinesKept())
      KeepOutputRows(static_cast<std::size_t>(*lines));
    m_prompter.ShowFailure("Error writing output file \n" + m_strDestFile, m_trackFile.Error());
  } else if (m_summary.outcome == TrackOutcome::kNotRun) {
    m_summary.outcome = TrackOutcome::kWritten;
  }
  ReportProgress();
}

}  // namespace wayloom
