// The track engine: everything that happens when "Create NMEA Track" is pressed.
//
// It owns the run-time state of a Wayloom session (the four setting texts, the POI list, the source
// and output tables, the current and reference positions, the course and speed carried from one
// track to the next) and writes one track per CreateTrack call. The window and the command line
// own one engine each and talk to the person through the Prompter and OptionStates they pass in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "track/calendar.h"
#include "track/closest_search.h"
#include "track/host.h"
#include "track/nmea.h"
#include "track/poi_file.h"
#include "track/table.h"
#include "track/track_file.h"

namespace wayloom {

// How the last track ended.
enum class TrackOutcome {
  kNotRun,       // no track has been written yet
  kWritten,      // the file holds the whole track (possibly empty: fewer than two points)
  kDeclined,     // the destination existed and the answer was No: it was left untouched
  kOpenFailed,   // the destination could not be opened for writing
  kWriteFailed,  // a write, flush or close failed; the file holds what got through
  kStopped,      // stopped on request; the file holds every line written so far, all complete
};

struct TrackSummary {
  TrackOutcome outcome = TrackOutcome::kNotRun;
  std::uint64_t pointsRead = 0;        // points in the POI list
  std::uint64_t pointsWritten = 0;     // POI points written (extra points not counted)
  std::uint64_t sentencesWritten = 0;  // sentences written (to the file, the listener, or both)
  // The clock one period after the last pair written: where a track going on from this one would
  // continue. The track's start when nothing was written.
  double nextClockMs = 0.0;
};

class TrackEngine {
 public:
  // Where the track starts: 01:00:00.000.
  static constexpr double kTrackStartMs = 3600000.0;

  TrackEngine(Prompter& prompter, OptionStates& options);

  // The settings, as text, exactly as the person typed them; converted only when a track is made.
  std::string m_strSourceFile = "C:\\KORVA\\X\\M25.csv";
  std::string m_strDestFile = "C:\\KORVA\\X\\M25.txt";
  std::string m_strStepDistance = "100";  // metres between extra points
  std::string m_strTimePeriod = "1";      // seconds between points

  // Reads the POI file, shows it, writes the track in the order the option boxes choose, and shows
  // the POI list again. Problems are shown through the Prompter; it always runs to its end.
  void CreateTrack();

  // The POI list: rebuilt from m_strSourceFile (reporting its own failures), or freed.
  void LoadPoiFile();
  void FreePoiList();
  // Rebuilds the source table from the POI list and resets the current position to the reference.
  void FillSourceTable();
  // Flat-earth offset in metres of a point from the current position. False, with both offsets 0,
  // when any of the four coordinates is exactly 0 (counted as absent).
  bool PlanarOffset(double longitude, double latitude, double& eastMetres,
                    double& northMetres) const;

  // The two sentences of a point: each is listed in the output table and returned with its "\n".
  const std::string& BuildGga(double clockMs, std::string_view latitudeText,
                              std::string_view longitudeText);
  const std::string& BuildRmc(double clockMs, std::string_view latitudeText,
                              std::string_view longitudeText);

  // The track writers; CreateTrack calls the one the option boxes choose. All start with the first
  // point of the file. Closest order then always goes on to the nearest point not yet visited
  // (FindClosest); extra points fill each stretch between two points (WriteExtraPoints).
  void WritePlainTrack();
  void WriteClosestTrack();
  void WriteExtraTrack();
  void WriteClosestExtraTrack();

  // The size of a - b, never negative. Should it come out negative or not a number (only arguments
  // that are not numbers, or the same infinity twice, can do that) it is reported and taken as 0.
  double AbsDifference(double a, double b);

  const std::optional<PoiList>& PoiPoints() const { return m_poiList; }
  const Table& SourceTable() const { return m_sourceTable; }
  const Table& NmeaTable() const { return m_nmeaTable; }
  double Course() const { return m_dCourse; }
  double Speed() const { return m_dSpeed; }
  const std::string& LastLatitudeText() const { return m_szLastLat; }
  const std::string& LastLongitudeText() const { return m_szLastLon; }
  // The origin of PlanarOffset; FillSourceTable resets it to the reference position (0, 0).
  void SetCurrentPosition(double latitude, double longitude) {
    m_dCurLat = latitude;
    m_dCurLon = longitude;
  }
  const TrackSummary& LastTrack() const { return m_summary; }

  // Writes tracks to stream (standard output) instead of m_strDestFile; null goes back to the file.
  void SetOutputStream(std::FILE* stream) { m_outputStream = stream; }
  // Off: sentences are not kept in the output table (a command line has no window to show them in).
  void SetKeepOutputTable(bool keep) { m_keepOutputTable = keep; }
  void SetProgressMonitor(ProgressMonitor* monitor) { m_progress = monitor; }
  // Hears every sentence pair written; null for none.
  void SetTrackListener(TrackListener* listener) { m_listener = listener; }
  // Off: tracks go to the listener only; no file is asked about, opened or written.
  void SetWriteTrackFile(bool write) { m_writeTrackFile = write; }
  // The clock of a track's first point; kTrackStartMs unless set, for a track that continues the
  // clock of an earlier one.
  void SetTrackStartMs(double clockMs) { m_trackStartMs = clockMs; }
  // Dated RMC sentences: date is the day of clock 0. Without it (the default) RMC has no date.
  void SetRmcDate(const std::optional<CalendarDate>& date);

 private:
  // Track opening: period, overwrite question, the file, the output table. False when the writer
  // must return at once (the question was answered No, or the file could not be opened).
  bool OpenTrack();
  // Writes the GGA and RMC sentences of one position. False when the track must end here (a write
  // failed or a stop was asked for).
  bool WriteSentencePair(double clockMs, std::string_view latitudeText,
                         std::string_view longitudeText);
  // The point of source-table row `row`: a sentence pair that also counts as progress through the
  // POI list.
  bool WritePoint(double clockMs, std::size_t row);
  void CloseTrack();
  // Writes the extra points from the current position towards the target texts and sets the
  // course and speed of the stretch; returns the clock at which the target itself is to be written.
  double WriteExtraPoints(double clockMs, std::string_view latitudeText,
                          std::string_view longitudeText);
  // The closest-order and extra-point writers: the first point, then every other point in the
  // order chosen, each becoming the current position once written.
  enum class VisitOrder { kFile, kClosest };
  void WriteVisitingTrack(VisitOrder order, bool extraPoints);
  // Texts of the source-table row of the n-th point, as the writers read cells.
  std::string_view RowLatitude(std::size_t row) const { return m_sourceTable.ReadCell(row, 0); }
  std::string_view RowLongitude(std::size_t row) const { return m_sourceTable.ReadCell(row, 1); }
  void ResetOutputTable();
  // Lists a built sentence in the output table and returns it with its "\n", as BuildGga and
  // BuildRmc do.
  const std::string& ListSentence(std::string_view sentence);
  void RebuildSourceTable();
  void ReportProgress();

  Prompter& m_prompter;
  OptionStates& m_options;
  ProgressMonitor* m_progress = nullptr;
  std::FILE* m_outputStream = nullptr;
  bool m_keepOutputTable = true;
  TrackListener* m_listener = nullptr;
  bool m_writeTrackFile = true;
  double m_trackStartMs = kTrackStartMs;

  std::optional<PoiList> m_poiList;    // absent before the first load, after freeing, and when even
                                       // its blank tail could not be allocated
  Table m_sourceTable;                 // only FillSourceTable changes it; the writers read it
  std::uint64_t m_poiListVersion = 1;  // counts the POI lists loaded and freed
  std::uint64_t m_sourceTableShowsList = 0;  // the version the source table shows
  Table m_nmeaTable;

  double m_dCurLat = 0.0;
  double m_dCurLon = 0.0;
  double m_dRefLat = 0.0;  // never changes; FillSourceTable copies it into the current position
  double m_dRefLon = 0.0;
  double m_dCourse = 12.0;  // degrees, carried from one track to the next
  double m_dSpeed = 35.0;   // knots, carried from one track to the next
  std::string m_szLastLat;  // coordinate texts of the last RMC sentence built
  std::string m_szLastLon;

  // The track being written.
  TrackFile m_trackFile;
  double m_periodSeconds = 1.0;
  std::string m_sentence;  // what BuildGga and BuildRmc return
  SentencePair m_pair;     // the sentences of the point being written
  bool m_trackEnded = false;
  std::size_t m_writingPoint = TrackListener::kExtraPoint;  // what WritePoint is writing
  TrackSummary m_summary;
};

}  // namespace wayloom
