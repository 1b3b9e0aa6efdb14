#include "track/track_engine.h"

#include <cmath>

#include "track/nmea.h"
#include "track/number_text.h"

namespace wayloom {
namespace {

// Every how many sentence pairs a progress report goes out.
constexpr std::uint64_t kProgressInterval = 4096;

}  // namespace

TrackEngine::TrackEngine(Prompter& prompter, OptionStates& options)
    : m_prompter(prompter), m_options(options) {}

void TrackEngine::CreateTrack() {
  LoadPoiFile();
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
  const PoiReadStatus status = ReadPoiFile(m_strSourceFile, list);
  switch (status) {
    case PoiReadStatus::kNoMemoryForList:
      m_prompter.ShowMessage("Argh ! Out of memory making the POI list");
      return;
    case PoiReadStatus::kCannotOpen:
      m_prompter.ShowMessage("Error can't open the input file\n" + m_strSourceFile);
      break;
    case PoiReadStatus::kReadError:
      m_prompter.ShowMessage("Error reading the input file\n" + m_strSourceFile);
      break;
    case PoiReadStatus::kOutOfMemory:
      m_prompter.ShowMessage(
          "Argh! Out of memory making the POI list.\nThe nearby POI list will be incomplete.");
      break;
    case PoiReadStatus::kOk:
      break;
  }
  m_poiList = std::move(list);
  ++m_poiListVersion;
}

void TrackEngine::FreePoiList() {
  m_poiList.reset();
  ++m_poiListVersion;
}

void TrackEngine::FillSourceTable() {
  // The writers read the source table without changing it, so a table that already shows this POI
  // list is shown again as it stands.
  if (m_sourceTableShowsList != m_poiListVersion) {
    RebuildSourceTable();
    m_sourceTableShowsList = m_poiListVersion;
  }
  if (m_poiList) {
    m_dCurLat = m_dRefLat;
    m_dCurLon = m_dRefLon;
  }
}

void TrackEngine::RebuildSourceTable() {
  m_sourceTable.DeleteAllRows();
  while (m_sourceTable.ColumnCount() > 0) m_sourceTable.DeleteFirstColumn();
  m_sourceTable.AddColumn(0, "Latitude", 100);
  m_sourceTable.AddColumn(1, "Longitude", 100);
  m_sourceTable.AddColumn(2, "Description", 260);
  m_sourceTable.AddColumn(3, "Distance", 95);

  if (!m_poiList) {
    m_sourceTable.InsertRow(0, "Poi list is empty");
    return;
  }
  // The distance is measured from the reference position, and none is shown while the reference
  // has a coordinate of exactly 0 (as it always has): then the points need not be converted.
  const bool showsDistance = m_dRefLat != 0.0 && m_dRefLon != 0.0;
  m_dCurLat = m_dRefLat;  // PlanarOffset measures from the current position
  m_dCurLon = m_dRefLon;
  m_sourceTable.Reserve(m_poiList->size());
  std::string distance;
  for (std::size_t row = 0; row < m_poiList->size(); ++row) {
    const PoiView node = (*m_poiList)[row];
    distance.clear();
    double east = 0.0;
    double north = 0.0;
    if (showsDistance &&
        PlanarOffset(ParseDecimal(node.szLon), ParseDecimal(node.szLat), east, north)) {
      AppendFixed(distance, std::sqrt(east * east + north * north) * 0.001, 3);
      distance += " km";
    }
    m_sourceTable.AppendRow({node.szLat, node.szLon, node.szDescription, distance});
  }
}

bool TrackEngine::PlanarOffset(double longitude, double latitude, double& eastMetres,
                               double& northMetres) const {
  return wayloom::PlanarOffset(GeoPoint{m_dCurLat, m_dCurLon}, longitude, latitude, eastMetres,
                               northMetres);
}

const std::string& TrackEngine::BuildGga(double clockMs, std::string_view latitudeText,
                                         std::string_view longitudeText) {
  m_pair.Build(clockMs, latitudeText, longitudeText, m_dSpeed, m_dCourse);
  return ListSentence(m_pair.Gga());
}

const std::string& TrackEngine::BuildRmc(double clockMs, std::string_view latitudeText,
                                         std::string_view longitudeText) {
  m_pair.Build(clockMs, latitudeText, longitudeText, m_dSpeed, m_dCourse);
  m_szLastLat.assign(latitudeText);
  m_szLastLon.assign(longitudeText);
  return ListSentence(m_pair.Rmc());
}

const std::string& TrackEngine::ListSentence(std::string_view sentence) {
  if (m_keepOutputTable) m_nmeaTable.AppendRow(sentence);
  m_sentence.assign(sentence);
  m_sentence.push_back('\n');
  return m_sentence;
}

void TrackEngine::WritePlainTrack() {
  if (!OpenTrack()) return;
  const std::size_t rows = m_sourceTable.RowCount();
  if (rows >= 3) {  // at least two points above the blank last row
    const double stepMs = m_periodSeconds * 1000.0;
    double clockMs = m_trackStartMs;
    for (std::size_t row = 0; row + 1 < rows; ++row) {
      if (!WritePoint(clockMs, RowLatitude(row), RowLongitude(row))) break;
      clockMs += stepMs;
    }
  }
  CloseTrack();
}

bool TrackEngine::OpenTrack() {
  m_periodSeconds = ParseDecimal(m_strTimePeriod);
  if (m_periodSeconds == 0.0) m_periodSeconds = 1.0;
  m_summary = TrackSummary{};
  m_summary.pointsRead = m_poiList && !m_poiList->empty() ? m_poiList->size() - 1 : 0;
  m_summary.nextClockMs = m_trackStartMs;
  m_trackEnded = false;

  if (!m_writeTrackFile) {
    // Nothing to open: the listener has the track.
  } else if (m_outputStream) {
    m_trackFile.Attach(m_outputStream);
  } else {
    if (DestinationExists(m_strDestFile) &&
        !m_prompter.AskYesNo("The output file already exists\noverwrite ?")) {
      m_summary.outcome = TrackOutcome::kDeclined;
      return false;
    }
    if (!m_trackFile.Open(m_strDestFile)) {
      m_prompter.ShowMessage("Error can't open output file \n" + m_strDestFile);
      m_summary.outcome = TrackOutcome::kOpenFailed;
      return false;
    }
  }
  ResetOutputTable();
  return true;
}

void TrackEngine::ResetOutputTable() {
  m_nmeaTable.DeleteAllRows();
  while (m_nmeaTable.ColumnCount() > 0) m_nmeaTable.DeleteFirstColumn();
  m_nmeaTable.AddColumn(0, "NMEA strings", 500);
}

bool TrackEngine::WriteSentencePair(double clockMs, std::string_view latitudeText,
                                    std::string_view longitudeText) {
  if (m_trackEnded) return false;
  // The same sentences BuildGga and BuildRmc give, with the shared fields formatted once.
  m_pair.Build(clockMs, latitudeText, longitudeText, m_dSpeed, m_dCourse);
  if (m_keepOutputTable) {
    m_nmeaTable.AppendRow(m_pair.Gga());
    m_nmeaTable.AppendRow(m_pair.Rmc());
  }
  m_szLastLat.assign(latitudeText);
  m_szLastLon.assign(longitudeText);
  if (m_writeTrackFile &&
      (!m_trackFile.WriteLine(m_pair.Gga()) || !m_trackFile.WriteLine(m_pair.Rmc()))) {
    m_trackEnded = true;
    m_summary.outcome = TrackOutcome::kWriteFailed;
    return false;
  }
  m_summary.sentencesWritten += 2;
  m_summary.nextClockMs = clockMs + m_periodSeconds * 1000.0;
  if (m_listener) m_listener->OnSentencePair(clockMs, m_pair.Gga(), m_pair.Rmc());
  if (m_summary.sentencesWritten % (2 * kProgressInterval) == 0) ReportProgress();
  if (m_progress && m_progress->StopRequested()) {
    m_trackEnded = true;
    m_summary.outcome = TrackOutcome::kStopped;
    return false;
  }
  return true;
}

bool TrackEngine::WritePoint(double clockMs, std::string_view latitudeText,
                             std::string_view longitudeText) {
  if (m_trackEnded) return false;
  const bool goOn = WriteSentencePair(clockMs, latitudeText, longitudeText);
  if (m_summary.outcome != TrackOutcome::kWriteFailed) ++m_summary.pointsWritten;
  return goOn;
}

void TrackEngine::ReportProgress() {
  if (!m_progress) return;
  TrackProgress progress;
  progress.pointsDone = m_summary.pointsWritten;
  progress.pointsTotal = m_summary.pointsRead;
  progress.sentencesWritten = m_summary.sentencesWritten;
  m_progress->Report(progress);
}

void TrackEngine::SetRmcDate(const std::optional<CalendarDate>& date) {
  if (date) {
    m_pair.SetDate(*date);
  } else {
    m_pair.ClearDate();
  }
}

void TrackEngine::CloseTrack() {
  const bool closed = !m_writeTrackFile || m_trackFile.Close();
  if (!closed) m_summary.outcome = TrackOutcome::kWriteFailed;
  if (m_summary.outcome == TrackOutcome::kWriteFailed) {
    m_prompter.ShowMessage("Error writing output file \n" + m_strDestFile);
  } else if (m_summary.outcome == TrackOutcome::kNotRun) {
    m_summary.outcome = TrackOutcome::kWritten;
  }
  ReportProgress();
}

}  // namespace wayloom
