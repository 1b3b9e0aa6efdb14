// The job: one track made from a source and run to its outputs, with every check, message,
// question and count on the way. Both front ends describe what they want in JobSettings, hand
// their message box (or terminal) in as the Prompter, and show the JobSummary; neither knows how a
// track is made.
//
// The way of a job: the live outputs are opened first (a port or link that cannot be had stops it
// before any file is touched); the source is read in full (a source that cannot be read stops it
// before the destination is asked about); the destination is checked, asked about and written in
// full; then the same track goes out live, round after round with the loop.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "base/fix.h"
#include "base/host.h"
#include "job/receiver_track.h"
#include "job/replay_track.h"
#include "motion/track_engine.h"
#include "outputs/live/live_outputs.h"

namespace wayloom {

struct JobSettings {
  std::string source;
  // What is read of a route file: as a CSV with a header whatever its first line says, and which
  // of its paths (a name or a number from 1; empty: the first track, route or line).
  bool sourceAsCsv = false;
  std::string sourcePath;
  std::string dest;  // empty: no file; "-": standardOutput
  std::FILE* standardOutput = nullptr;
  // The classic tracks, as typed (TrackEngine converts them); the option boxes come from the
  // OptionStates the job was made with.
  std::string step = "100";
  std::string period = "1";
  unsigned long runs = 1;  // the classic track made this many times, course and speed carried over
  std::optional<CalendarDate> date;      // dated RMC sentences: the day of clock 0
  std::optional<ReceiverPlan> receiver;  // a receiver travelling the points instead
  std::optional<ReplaySettings> replay;  // source is a recorded NMEA log, replayed instead
  LiveSettings live;
  // Timed track files of the track written (GPX, KML); empty for none. The classic tracks need
  // the date for them.
  std::string gpx;
  std::string kml;
};

enum class JobOutcome {
  kDone,            // every output had the whole track (it may be empty: fewer than two points)
  kOutputsFailed,   // a live output could not be opened; nothing was read or written
  kDeviceRefused,   // a serial port or the emulator's console given cannot be used; the same
  kDestIsPtyLink,   // the destination is the pseudo-terminal's link; nothing was written
  kSourceUnread,    // the source or the almanac could not be read, or the route cannot be travelled
  kStoppedReading,  // a stop came while the source was read; the destination was not touched
  kDeclined,        // the destination exists and the answer was No: it was left as it was
  kOpenFailed,      // the destination is the source, or could not be opened
  kWriteFailed,     // a write failed: the destination holds what got through, every line whole
  kStopped,         // stopped on request: every line written so far is complete
};

struct JobSummary {
  JobOutcome outcome = JobOutcome::kDone;
  bool receiver = false;            // a receiver's track (its fixes are counted)
  std::uint64_t pointsRead = 0;     // points of the source
  std::uint64_t pointsWritten = 0;  // of them, those the track reached
  std::uint64_t fixesWritten = 0;   // to the destination
  std::uint64_t sentencesWritten = 0;
  bool sourceHasUtf16Mark = false;
  bool live = false;       // live output ran
  std::string liveReport;  // what went out live (LiveOutputs::Report)
  // A replay: its bursts are counted as fixes, and the lines of its log (those of the first round)
  // as the reader judged them.
  bool replay = false;
  bool keptBad = false;  // lines that are no sentence or fail their checksum went out as they stand
  NmeaLogCounts logLines;
  std::uint64_t positions = 0;  // bursts played that report one (when positions were read)
  std::string kept;             // a timed track file that exists and was left as it was (kDeclined)
  std::vector<std::string> timedFiles;  // the timed track files written
  std::uint64_t timedFixesWritten = 0;  // to each of them
  std::uint64_t timedFixesLeftOut = 0;  // that no timed track file can hold
  LiveCounts liveCounts;                // and its counts
};

class TrackJob {
 public:
  // prompter shows the job's messages and answers its question; options are the two option boxes.
  TrackJob(Prompter& prompter, OptionStates& options);

  // The classic tracks' engine, with the POI list and the tables of the last track.
  TrackEngine& Engine() { return engine_; }
  const TrackEngine& Engine() const { return engine_; }

  // Runs one job. listener (may be null) hears every fix of the track written to the destination,
  // or, without one, of every round sent live; progress (may be null) sees how far it has come and
  // asks for stops; wakeFd (or -1) becomes readable when a stop is asked for, so that a live wait
  // ends at once. A front end that must know at once whether the live outputs open (the window,
  // which runs a job on a thread of its own) opens them itself and hands them in as opened.
  JobSummary Run(const JobSettings& settings, FixListener* listener, ProgressMonitor* progress,
                 int wakeFd = -1, std::unique_ptr<LiveOutputs> opened = nullptr);

 private:
  // Forwards to the front end's prompter, and answers Yes to the overwrite question once an
  // earlier run of this job has written the destination.
  class JobPrompter : public Prompter {
   public:
    explicit JobPrompter(Prompter& prompter) : prompter_(prompter) {}
    void ShowMessage(const std::string& text) override { prompter_.ShowMessage(text); }
    void ShowFailure(const std::string& text, std::error_code reason) override {
      prompter_.ShowFailure(text, reason);
    }
    void ShowNote(const std::string& text) override { prompter_.ShowNote(text); }
    bool AskYesNo(const std::string& question) override {
      return answerYes || prompter_.AskYesNo(question);
    }
    bool answerYes = false;

   private:
    Prompter& prompter_;
  };

  struct Work;
  void RunClassic(Work& run);
  // After the file: the track once more to live output (written: the file was written whole),
  // from the course and speed the file's track started with, round after round with the loop.
  // live is the live output as the classic tracks send to it (ClassicLive under a playback).
  void SendClassicLive(Work& run, FixListener* live, bool written, double course, double speed);
  void RunReceiver(Work& run);
  void RunReplay(Work& run);
  // A replay's log opened, or the failure shown and the job ended.
  bool OpenReplay(Work& run, ReplayTrack& track);
  // After a pass over the log: false, with the failure shown and the job ended, when it could not
  // be read on; a read that a stop request cut short sets stopped.
  bool ReplayWentOn(Work& run, const ReplayTrack& track, bool& stopped);
  void ReplayFailed(Work& run, const ReplayTrack& track);
  // Writes a receiver's track to the destination and the timed track files. False, with the
  // outcome set and the message shown, when one of them could not be had; stopped tells whether a
  // stop ended the track, lastDate whether the track reached the last date the sentences carry.
  bool WriteReceiverFiles(Work& run, const ReceiverRoute& route, const ReceiverPlan& plan,
                          const std::vector<AlmanacRecord>& almanac, bool& stopped, bool& lastDate);
  // Reads the source in full through the engine. False, with the outcome set and live output
  // closed, when it cannot be read.
  bool ReadSource(Work& run);
  // Asks about every file of the job (the destination, the timed track files) before any is
  // written, then creates the timed track files. False, with the outcome set, when one is refused.
  bool CheckFiles(Work& run);
  // Ends the timed track files, into the summary.
  void CloseTimedFiles(Work& run);

  JobPrompter prompter_;
  OptionStates& options_;
  TrackEngine engine_;
};

// Whether the job made no track for want of points: fewer than two for the classic tracks, none
// for a receiver (which stands at a single point).
bool NoTrack(const JobSummary& summary);

// The lines a front end says about a job: "no track: N points read from SOURCE" (and why, when
// the file is UTF-16), "N points read, [F fixes, ]M sentences written to DEST", and for the timed
// track files "F fixes written to FILE[ and FILE][, K off the Earth or the calendar left out]";
// for a replay "no replay: LOG holds no NMEA sentence" and "B bursts, M sentences written to DEST",
// each followed by the lines left out of it (LeftOutText).
std::string NoTrackLine(const JobSummary& summary, const std::string& source);
std::string WrittenLine(const JobSummary& summary, const std::string& destName);
std::string TimedFilesLine(const JobSummary& summary);
// The lines of a replayed log that were no sentence: "3 lines left out: 2 not NMEA, 1 with a bad
// checksum" (or, kept, "sent as they stand"); empty when there were none.
std::string LeftOutText(const JobSummary& summary);

}  // namespace wayloom
