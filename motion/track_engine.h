// The track engine: everything that happens when "Create NMEA Track" is pressed.
//
// It owns the run-time state of a Wayloom session (the four setting texts, the POI list, the source
// and output tables, the current and reference positions, the course and speed carried from one
// track to the next) and writes one track per CreateTrack call. The window and the command line
// own one engine each and talk to the person through the Prompter and OptionStates they pass in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/calendar.h"
#include "base/fix.h"
#include "base/host.h"
#include "motion/fix_batches.h"
#include "motion/output_rows.h"
#include "motion/source_rows.h"
#include "outputs/track_file.h"
#include "route/planar_offset.h"
#include "sources/poi_file.h"
#include "sources/source.h"

namespace wayloom {

// How the last track ended.
enum class TrackOutcome {
  kNotRun,       // no track has been written yet
  kWritten,      // the file holds the whole track (possibly empty: fewer than two points)
  kDeclined,     // the destination existed and the answer was No: it was left untouched
  kOpenFailed,   // the destination could not be opened for writing, or is the POI file itself
  kWriteFailed,  // a write, flush or close failed; the file holds what got through
  kStopped,      // stopped on request; the file holds every line written so far, all complete
  // With SetSourceMustBeRead only; in both the destination was neither asked about nor touched:
  kSourceUnread,    // the POI file could not be read in full (its message was shown)
  kStoppedReading,  // a stop was asked for while the POI file was read
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
  // What is read of the source: a kind asked for (whatever the content says) and a path by its
  // name or number (empty: the default); a stop request is added when it is read.
  void SetSourceChoice(std::optional<SourceKind> kind, std::string path) {
    m_sourceChoice.kind = kind;
    m_sourceChoice.path = std::move(path);
  }

  // Reads the POI file, shows it, writes the track in the order the option boxes choose, and shows
  // the POI list again. Problems are shown through the Prompter; it always runs to its end, unless
  // SetSourceMustBeRead is on and the POI file was not read in full.
  void CreateTrack();
  // The same track once more from the POI list as it stands, without reading the file again.
  void RepeatTrack();

  // The POI list: rebuilt from m_strSourceFile (reporting its own failures), or freed. The
  // reference position becomes the list's first point, which the source table measures its
  // distances from.
  void LoadPoiFile();
  void FreePoiList();
  // Shows the POI list in the source table and resets the current position to the reference.
  void FillSourceTable();
  // Flat-earth offset in metres of a point from the current position. False, with both offsets 0,
  // when any of the four coordinates is exactly 0 (counted as absent).
  bool PlanarOffset(double longitude, double latitude, double& eastMetres,
                    double& northMetres) const;

  // The track writers; CreateTrack calls the one the option boxes choose. All start with the first
  // point of the file. Closest order then always goes on to the nearest point not yet visited
  // (route/closest_index.h); extra points fill each stretch between two points (WriteExtraPoints).
  void WritePlainTrack();
  void WriteClosestTrack();
  void WriteExtraTrack();
  void WriteClosestExtraTrack();

  // Null before the first load, after freeing, and when even its blank tail could not be made.
  const std::shared_ptr<const PoiList>& PoiPoints() const { return m_poiList; }
  // Whether the last LoadPoiFile read the whole file, and whether a stop ended it.
  bool SourceReadInFull() const { return m_loadStatus == PoiReadStatus::kOk; }
  bool SourceReadingStopped() const { return m_loadStatus == PoiReadStatus::kStopped; }
  const SourceRows& SourceTable() const { return m_sourceTable; }
  const OutputRows& NmeaTable() const { return *m_outputRows; }
  // The output table of the last track, to be shown while the engine goes on: the next track
  // gets a table of its own once its file is opened, and this one stays as it is.
  std::shared_ptr<const OutputRows> SharedNmeaTable() const { return m_outputRows; }
  // The output table for tracks the engine does not write itself (a receiver's): a new one, then
  // the sentences of every fix listed in it (when the tables are kept).
  void ResetOutputTable();
  void ListSentences(const SentenceLines& sentences);
  // Keeps the first rows of the output table: what a track file that failed still holds.
  void KeepOutputRows(std::size_t rows) { m_outputRows->KeepFirstRows(rows); }
  double Course() const { return m_dCourse; }
  double Speed() const { return m_dSpeed; }
  // What one track hands on to the next; set back to repeat a track as it was.
  void SetCourseAndSpeed(double courseDegrees, double speedKnots) {
    m_dCourse = courseDegrees;
    m_dSpeed = speedKnots;
  }
  const TrackSummary& LastTrack() const { return m_summary; }

  // Writes tracks to stream (standard output) instead of m_strDestFile; null goes back to the file.
  void SetOutputStream(std::FILE* stream) { m_outputStream = stream; }
  // Off: sentences are not kept in the output table, nor the POI list shown in the source table
  // (a command line has no window to show them in).
  void SetKeepTables(bool keep) { m_keepTables = keep; }
  void SetProgressMonitor(ProgressMonitor* monitor) { m_progress = monitor; }
  // Hears every fix written; null for none.
  void SetTrackListener(FixListener* listener) { m_listener = listener; }
  // Off: tracks go to the listener only; no file is asked about, opened or written.
  void SetWriteTrackFile(bool write) { m_writeTrackFile = write; }
  // The clock of a track's first point; kTrackStartMs unless set, for a track that continues the
  // clock of an earlier one.
  void SetTrackStartMs(double clockMs) { m_trackStartMs = clockMs; }
  // Dated RMC sentences: date is the day of clock 0. Without it (the default) RMC has no date.
  void SetRmcDate(const std::optional<CalendarDate>& date);
  // On: the POI file must be read in full before the destination is asked about or opened, and
  // the progress monitor's stop request is heeded while it is read. A track whose file could not
  // be read then ends there (kSourceUnread, kStoppedReading), so an existing destination is never
  // lost to a mistyped source. Off (the default), the writer runs with whatever list stands.
  void SetSourceMustBeRead(bool must) { m_sourceMustBeRead = must; }
  // The last POI file read began with a UTF-16 byte-order mark (and so gave no points).
  bool SourceHasUtf16Mark() const { return m_sourceUtf16; }
  // What the last LoadPoiFile learnt of the file beside the POI list: its kind, its paths and the
  // one read, and its points' details (time, elevation, speed, dwell), indexed as the list.
  const SourceRead& LastSourceRead() const { return m_sourceRead; }

 private:
  // Track opening: period, overwrite question, the file, the output table. False when the writer
  // must return at once (the question was answered No, or the file could not be opened).
  bool OpenTrack();
  // The point of source-table row `row`, and an extra point, at a time on the track, with the
  // course and speed as they stand: its GGA and RMC sentences are built and written. False when the
  // track must end here (a write failed or a stop was asked for).
  bool WritePoint(double clockMs, std::size_t row);
  bool WriteExtraPoint(double clockMs, double latitude, double longitude);
  // A new position of the track in the batch being filled, with the course and speed as they
  // stand; once it is filled in, FixAdded sends a full batch to be formatted and writes the
  // formatted ones.
  Fix& NewFix(double clockMs);
  bool FixAdded();
  // Writes the formatted batches: those that are ready, or all of them once waitForAll.
  void WriteFormattedBatches(bool waitForAll);
  // Writes the sentences of a formatted batch, each pair in turn, to the file, the output table and
  // the listener, until the track ends.
  void WriteBatch(FixBatch& batch);
  // Tells the listener of a fix written.
  void Tell(const Fix& fix, std::string_view pair);
  void CloseTrack();
  // Writes the extra points from the current position towards the target texts and sets the
  // course and speed of the stretch; returns the clock at which the target itself is to be written.
  double WriteExtraPoints(double clockMs, std::string_view latitudeText,
                          std::string_view longitudeText);
  // The closest-order and extra-point writers: the first point, then every other point in the
  // order chosen, each becoming the current position once written.
  enum class VisitOrder { kFile, kClosest };
  void WriteVisitingTrack(VisitOrder order, bool extraPoints);
  // The source table shows the POI list row for row: a row per node, the blank tail last, or the
  // one row "Poi list is empty" when there is no list. The writers read a row's texts from the
  // list itself.
  std::size_t PointCount() const { return m_poiList ? m_poiList->PointCount() : 0; }
  GeoPoint RowPoint(std::size_t row) const;
  // The writer the option boxes choose, between the two showings of the source table.
  void WriteChosenTrack();
  void ReportProgress();

  Prompter& m_prompter;
  OptionStates& m_options;
  ProgressMonitor* m_progress = nullptr;
  std::FILE* m_outputStream = nullptr;
  bool m_keepTables = true;
  FixListener* m_listener = nullptr;
  bool m_writeTrackFile = true;
  double m_trackStartMs = kTrackStartMs;
  bool m_sourceMustBeRead = false;
  PoiReadStatus m_loadStatus = PoiReadStatus::kOk;
  bool m_sourceUtf16 = false;
  SourceOptions m_sourceChoice;
  SourceRead m_sourceRead;

  std::shared_ptr<const PoiList> m_poiList;  // shared with the tables that show it
  SourceRows m_sourceTable;                  // only FillSourceTable changes it
  std::shared_ptr<OutputRows> m_outputRows = std::make_shared<OutputRows>();

  double m_dCurLat = 0.0;
  double m_dCurLon = 0.0;
  // The reference position: the first point of the POI list, which the source table measures
  // its distances from; FillSourceTable copies it into the current position.
  double m_dRefLat = 0.0;
  double m_dRefLon = 0.0;
  double m_dCourse = 12.0;  // degrees, carried from one track to the next
  double m_dSpeed = 35.0;   // knots, carried from one track to the next

  // The track being written.
  TrackFile m_trackFile;
  double m_periodSeconds = 1.0;  // the settings of the track, as converted when it opened
  double m_stepMetres = 100.0;
  std::optional<CalendarDate> m_rmcDate;  // the day of clock 0, when RMC sentences are dated
  BatchQueue m_batches;
  // Batches submitted and not yet written: one for each thread the machine runs at once, so that
  // every core formats while the writer writes, and one more for the writer to take next; no more,
  // so that the writer is never far behind.
  std::size_t m_batchesAtOnce = 3;
  bool m_trackEnded = false;
  std::optional<Fix> m_lastFixWritten;  // the position whose sentences went out last
  TrackSummary m_summary;
};

}  // namespace wayloom
