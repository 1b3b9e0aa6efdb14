#include "job/track_job.h"

#include <filesystem>
#include <memory>

#include "base/number_text.h"
#include "job/live_rounds.h"
#include "job/receiver_track.h"
#include "job/timed_files.h"
#include "outputs/destination.h"
#include "platform/platform.h"
#include "route/route.h"
#include "sentences/fields.h"

namespace wayloom {
namespace {

// Sentences between two progress reports of a receiver's track.
constexpr std::uint64_t kProgressSentences = 8192;

constexpr const char* kLastDateNote =
    "the track ends at 2079-12-31 23:59:59.999 UTC: RMC's two-digit year carries no later date";

// Why a receiver cannot travel the points of list, read from source: a point with an empty
// coordinate, which would send it to 0 degrees. Empty when it can.
std::string PointProblem(const PoiList& list, const std::string& source) {
  const std::size_t blank = FirstPointWithoutCoordinate(list);
  if (blank == list.PointCount()) return {};
  const std::size_t line = PoiLineNumber(source, blank);
  return "point " + std::to_string(blank + 1) +
         (line > 0 ? " (line " + std::to_string(line) + ")" : std::string()) + " has no " +
         (list[blank].szLon.empty() ? "longitude" : "latitude") +
         ": a receiver needs both coordinates of every point";
}

// A timed route's times, and the plan's date and start from them: the first point's, or shifted
// as a whole to those given. Empty when the route can be played in its own time; otherwise why not.
std::string TimeRoute(const PointDetails& read, const std::string& source, bool reordered,
                      ReceiverRoute& route, ReceiverPlan& plan) {
  if (reordered) {
    return "a timed track is played in the order of its times: the closest order does not "
           "apply\n" +
           source;
  }
  std::int64_t firstUtcMs = 0;
  std::string problem = TakeRouteTimes(read, source, route, firstUtcMs);
  if (!problem.empty() || route.points.empty()) return problem;
  const DayAndTime first = SplitDays(firstUtcMs);
  if (!plan.startGiven) plan.startMs = first.msOfDay;
  if (plan.dateGiven) return {};
  plan.date = DateFromDays(first.day);
  if (first.day < DaysFromDate(kFirstSentenceDate) || first.day > DaysFromDate(kLastSentenceDate)) {
    return source + ": the track starts on " + UtcTimeText(firstUtcMs).substr(0, 10) +
           ", not a date from 1980-01-06 to 2079-12-31 as dated sentences carry: give it "
           "another date";
  }
  return {};
}

// Hands every fix to two listeners, the first one first; either may be null.
class FixTee : public FixListener {
 public:
  FixTee(FixListener* first, FixListener* second) : first_(first), second_(second) {}
  void OnPointReached(std::size_t poiIndex) override {
    if (first_) first_->OnPointReached(poiIndex);
    if (second_) second_->OnPointReached(poiIndex);
  }
  void OnFix(const Fix& fix, const SentenceLines& sentences) override {
    if (first_) first_->OnFix(fix, sentences);
    if (second_) second_->OnFix(fix, sentences);
  }

 private:
  FixListener* first_;
  FixListener* second_;
};

// Counts the points a track reaches, for the summary.
class PointCounter : public FixListener {
 public:
  void OnPointReached(std::size_t) override { ++reached; }
  void OnFix(const Fix&, const SentenceLines&) override {}
  std::uint64_t reached = 0;
};

JobSummary Ended(JobOutcome outcome) {
  JobSummary summary;
  summary.outcome = outcome;
  return summary;
}

JobOutcome FromTrackOutcome(TrackOutcome outcome) {
  switch (outcome) {
    case TrackOutcome::kDeclined:
      return JobOutcome::kDeclined;
    case TrackOutcome::kOpenFailed:
      return JobOutcome::kOpenFailed;
    case TrackOutcome::kWriteFailed:
      return JobOutcome::kWriteFailed;
    case TrackOutcome::kStopped:
      return JobOutcome::kStopped;
    case TrackOutcome::kSourceUnread:
      return JobOutcome::kSourceUnread;
    case TrackOutcome::kStoppedReading:
      return JobOutcome::kStoppedReading;
    case TrackOutcome::kNotRun:
    case TrackOutcome::kWritten:
      break;
  }
  return JobOutcome::kDone;
}

}  // namespace

// What one Run works with.
struct TrackJob::Work {
  const JobSettings& settings;
  FixListener* listener;
  ProgressMonitor* progress;
  LiveOutputs* live;  // null without live output
  TimedFiles* timed;  // null without timed track files
  JobSummary summary;

  bool toFile() const { return !settings.dest.empty(); }
  // Whether the track is written in full before it goes live: to the destination, the timed
  // track files, or both.
  bool writesFiles() const { return toFile() || timed; }
  bool toStdout() const { return settings.dest == "-"; }
  // The destination as messages name it.
  std::string DestName() const { return toStdout() ? "standard output" : settings.dest; }
  bool StopRequested() const { return progress && progress->StopRequested(); }
  // Ends the live outputs: drained after a whole track, at once after a stop or a failure.
  void EndLive(bool whole) {
    if (!live) return;
    if (whole) {
      live->Finish();
    } else {
      live->Close();
    }
    summary.live = true;
    summary.liveReport = live->Report();
    summary.liveCounts = live->Counts();
  }
};

TrackJob::TrackJob(Prompter& prompter, OptionStates& options)
    : prompter_(prompter), options_(options), engine_(prompter_, options) {}

JobSummary TrackJob::Run(const JobSettings& settings, FixListener* listener,
                         ProgressMonitor* progress, int wakeFd,
                         std::unique_ptr<LiveOutputs> opened) {
  prompter_.answerYes = false;
  std::unique_ptr<LiveOutputs> live = std::move(opened);
  if (!live && settings.live.Wanted()) {
    live = std::make_unique<LiveOutputs>(
        settings.live, [progress] { return progress && progress->StopRequested(); }, wakeFd);
    std::string problem;
    if (!live->Open(problem)) {
      prompter_.ShowMessage(problem);
      return Ended(live->DeviceRefused() ? JobOutcome::kDeviceRefused : JobOutcome::kOutputsFailed);
    }
    for (const std::string& address : live->Addresses()) prompter_.ShowNote(address);
  }
  if (live) live->SetNotes([this](const std::string& note) { prompter_.ShowNote(note); });
  // Only now that the link exists can it be told whether the destination leads to it.
  if (live && !settings.live.ptyLink.empty() && !settings.dest.empty() && settings.dest != "-" &&
      SameCanonicalPath(settings.dest, settings.live.ptyLink)) {
    live->Close();
    return Ended(JobOutcome::kDestIsPtyLink);
  }
  std::unique_ptr<TimedFiles> timed;
  if (!settings.gpx.empty() || !settings.kml.empty()) {
    // The classic tracks have a date only when given one; the settings' checks ask for it.
    const std::optional<CalendarDate> dayZero =
        settings.receiver ? std::optional(settings.receiver->date) : settings.date;
    if (!dayZero) {
      prompter_.ShowMessage("A timed track file needs the date of the track");
      return Ended(JobOutcome::kOpenFailed);
    }
    timed = std::make_unique<TimedFiles>(settings.gpx, settings.kml, *dayZero);
  }
  Work run{settings, listener, progress, live.get(), timed.get(), {}};
  engine_.m_strSourceFile = settings.source;
  engine_.SetSourceChoice(settings.sourceAsCsv ? std::optional(SourceKind::kCsv) : std::nullopt,
                          settings.sourcePath);
  engine_.m_strDestFile = run.DestName();
  engine_.m_strStepDistance = settings.step;
  engine_.m_strTimePeriod = settings.period;
  engine_.SetProgressMonitor(progress);
  engine_.SetRmcDate(settings.date);
  engine_.SetSourceMustBeRead(true);
  engine_.SetTrackStartMs(TrackEngine::kTrackStartMs);
  if (settings.replay) {
    RunReplay(run);
  } else if (settings.receiver) {
    RunReceiver(run);
  } else {
    RunClassic(run);
  }
  return run.summary;
}

bool TrackJob::ReadSource(Work& run) {
  engine_.LoadPoiFile();
  engine_.FillSourceTable();
  run.summary.sourceHasUtf16Mark = engine_.SourceHasUtf16Mark();
  if (engine_.SourceReadInFull()) return true;
  run.summary.outcome =
      engine_.SourceReadingStopped() ? JobOutcome::kStoppedReading : JobOutcome::kSourceUnread;
  run.EndLive(false);
  return false;
}

bool TrackJob::CheckFiles(Work& run) {
  const JobSettings& settings = run.settings;
  const std::string dest = run.toFile() && !run.toStdout() ? settings.dest : std::string();
  DestinationOpening checked = DestinationOpening::kOpen;
  if (!dest.empty()) checked = CheckDestination(dest, settings.source, prompter_);
  if (run.timed && checked == DestinationOpening::kOpen) {
    checked =
        run.timed->Check(settings.source, dest, settings.live.ptyLink, prompter_, run.summary.kept);
  }
  // Every question has had its answer: the file opened later is not asked about again.
  prompter_.answerYes = true;
  if (run.timed && checked == DestinationOpening::kOpen &&
      !run.timed->Open(std::filesystem::u8path(settings.source).stem().u8string(), prompter_)) {
    checked = DestinationOpening::kFailed;
  }
  if (checked == DestinationOpening::kOpen) return true;
  run.summary.outcome =
      checked == DestinationOpening::kDeclined ? JobOutcome::kDeclined : JobOutcome::kOpenFailed;
  run.EndLive(false);
  return false;
}

void TrackJob::CloseTimedFiles(Work& run) {
  if (!run.timed) return;
  run.summary.timedFiles = run.timed->Paths();
  run.summary.timedFixesWritten = run.timed->FixesWritten();
  run.summary.timedFixesLeftOut = run.timed->FixesLeftOut();
  if (!run.timed->Close(prompter_) && run.summary.outcome == JobOutcome::kDone) {
    run.summary.outcome = JobOutcome::kWriteFailed;
  }
}

// The classic tracks: the engine writes the destination and the timed track files (every run but
// the last only carries its course and speed over; on standard output the earlier runs go to the
// null device), then the last track goes out live once more from the same POI list, course and
// speed, and further rounds with the loop, the clock going on.
void TrackJob::RunClassic(Work& run) {
  const JobSettings& settings = run.settings;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> discard(nullptr, &std::fclose);
  if (run.toStdout() && settings.runs > 1) {
    discard.reset(std::fopen(NullDevice(), "wb"));
    if (!discard) {
      prompter_.ShowMessage(std::string("cannot open ") + NullDevice() +
                            " for the runs before the last");
      run.summary.outcome = JobOutcome::kOpenFailed;
      return;
    }
  }
  // With timed track files every file is asked about before the engine writes any: the job reads
  // the source itself, and the engine makes its tracks from the list read.
  if (run.timed && !(ReadSource(run) && CheckFiles(run))) return;
  engine_.SetWriteTrackFile(run.toFile());
  std::optional<ClassicLive> played;
  if (run.live && run.live->PlaybackControl()) {
    played.emplace(*run.live, engine_, settings.date, ParseDecimal(settings.period) * 1000.0);
  }
  FixListener* const live = played ? static_cast<FixListener*>(&*played) : run.live;
  FixTee liveAndListener(live, run.listener);
  FixTee timedAndListener(run.timed, run.listener);
  FixListener* const heard = !run.writesFiles() ? &liveAndListener
                             : run.timed        ? &timedAndListener
                                                : run.listener;
  double lastCourse = engine_.Course();
  double lastSpeed = engine_.Speed();
  for (unsigned long round = 1; round <= settings.runs; ++round) {
    const bool last = round == settings.runs;
    if (run.toStdout()) engine_.SetOutputStream(last ? settings.standardOutput : discard.get());
    if (last) {
      lastCourse = engine_.Course();
      lastSpeed = engine_.Speed();
    }
    engine_.SetTrackListener(last ? heard : nullptr);
    if (run.timed) {
      engine_.RepeatTrack();
    } else {
      engine_.CreateTrack();
    }
    if (engine_.LastTrack().outcome != TrackOutcome::kWritten) break;
    prompter_.answerYes = true;  // the file that exists now is the one this job has just written
  }
  const TrackSummary written = engine_.LastTrack();
  run.summary.outcome = FromTrackOutcome(written.outcome);
  run.summary.pointsRead = written.pointsRead;
  run.summary.pointsWritten = written.pointsWritten;
  run.summary.fixesWritten = run.toFile() ? written.sentencesWritten / 2 : 0;
  run.summary.sentencesWritten = run.toFile() ? written.sentencesWritten : 0;
  run.summary.sourceHasUtf16Mark = engine_.SourceHasUtf16Mark();
  engine_.SetOutputStream(nullptr);
  CloseTimedFiles(run);
  engine_.SetTrackListener(nullptr);
  if (run.live)
    SendClassicLive(run, live, run.summary.outcome == JobOutcome::kDone, lastCourse, lastSpeed);
}

void TrackJob::SendClassicLive(Work& run, FixListener* live, bool written, double course,
                               double speed) {
  FixTee liveAndListener(live, run.listener);
  engine_.SetWriteTrackFile(false);
  engine_.SetTrackListener(run.writesFiles() ? live : &liveAndListener);
  TrackOutcome outcome = engine_.LastTrack().outcome;
  if (run.writesFiles() && written) {
    engine_.SetCourseAndSpeed(course, speed);
    engine_.RepeatTrack();
    outcome = engine_.LastTrack().outcome;
  } else if (run.writesFiles()) {
    outcome = TrackOutcome::kNotRun;  // a file that failed: nothing goes live
  }
  // A round that sends nothing (the source has lost its points) would loop without end.
  while (run.settings.live.loop && outcome == TrackOutcome::kWritten &&
         engine_.LastTrack().sentencesWritten > 0) {
    engine_.SetTrackStartMs(engine_.LastTrack().nextClockMs);
    engine_.CreateTrack();
    outcome = engine_.LastTrack().outcome;
  }
  engine_.SetTrackListener(nullptr);
  run.EndLive(outcome == TrackOutcome::kWritten);
  if (outcome == TrackOutcome::kStopped || outcome == TrackOutcome::kStoppedReading) {
    run.summary.outcome = JobOutcome::kStopped;
  }
}

namespace {

struct FileResult {
  bool stopped = false;
  bool failed = false;
};

// Writes one round of track to file (if there is one), a line per sentence, and closes it; every
// fix, once its lines are written, goes to the engine's output table, the listener and the
// progress count.
FileResult WriteFixes(FixSource& track, TrackFile* file, TrackEngine& engine, FixListener& listener,
                      ProgressMonitor* progress, JobSummary& summary) {
  FileResult result;
  std::uint64_t sentences = 0;
  while (!result.stopped && track.Next()) {
    const SentenceLines lines = track.Sentences();
    if (file) {
      result.failed = !file->WriteText(lines.Text());
      if (result.failed) break;
      summary.fixesWritten += 1;
      summary.sentencesWritten += lines.Count();
    }
    const std::uint64_t before = sentences;
    sentences += lines.Count();
    engine.ListSentences(lines);
    track.Tell(listener);
    if (progress && before / kProgressSentences != sentences / kProgressSentences) {
      progress->Report(TrackProgress{summary.pointsWritten, summary.pointsRead, sentences});
    }
    result.stopped = progress && progress->StopRequested();
  }
  result.failed = (file && !file->Close()) || result.failed;
  return result;
}

// Sends a track to live, each fix when it is due, round after round with loop; listener (may be
// null) hears every fix once it is sent. True when it ended on a stop request.
bool SendRounds(FixSource& track, LiveOutputs& live, FixListener* listener, bool loop,
                ProgressMonitor* progress) {
  return LiveRounds(track, live, listener, progress).Run(loop);
}

}  // namespace

// A receiver's track: the route read through the engine (so that the window shows its points),
// the destination and the timed track files written in full, then the same fixes live (the fixes
// follow from the settings alone, noise included, so they are made again rather than kept).
void TrackJob::RunReceiver(Work& run) {
  const JobSettings& settings = run.settings;
  JobSummary& summary = run.summary;
  summary.receiver = true;
  if (!ReadSource(run)) return;
  const PoiList& list = *engine_.PoiPoints();
  summary.pointsRead = list.PointCount();
  ReceiverRoute route = MakeReceiverRoute(list, options_.ReorderTicked());
  ReceiverPlan plan = *settings.receiver;
  const PointDetails& details = engine_.LastSourceRead().details;
  std::string problem = PointProblem(list, settings.source);
  if (problem.empty()) problem = RouteProblem(route.points);
  if (problem.empty()) problem = TakeRouteDetails(details, route);
  if (!problem.empty()) {
    problem += "\n" + settings.source;
  } else if (plan.timed) {
    problem = TimeRoute(details, settings.source, options_.ReorderTicked(), route, plan);
  }
  if (!problem.empty()) {
    prompter_.ShowMessage(problem);
    summary.outcome = JobOutcome::kSourceUnread;
    run.EndLive(false);
    return;
  }
  if (run.timed) run.timed->SetDayZero(plan.date);
  std::vector<AlmanacRecord> almanac;
  std::error_code reason;
  if (!plan.almanacPath.empty() && !ReadAlmanacFile(plan.almanacPath, almanac, problem, reason)) {
    prompter_.ShowFailure(problem, reason);
    summary.outcome = JobOutcome::kSourceUnread;
    run.EndLive(false);
    return;
  }

  bool stopped = false;
  bool lastDate = false;
  if (run.writesFiles() && !WriteReceiverFiles(run, route, plan, almanac, stopped, lastDate)) {
    run.EndLive(false);
    return;
  }
  if (run.live && !stopped) {
    ReceiverTrack track(route, plan, almanac);
    stopped = SendRounds(track, *run.live, run.writesFiles() ? nullptr : run.listener,
                         settings.live.loop, run.progress);
    lastDate = lastDate || track.ReachedLastDate();
  }
  if (lastDate) prompter_.ShowNote(kLastDateNote);
  run.EndLive(!stopped);
  if (stopped) summary.outcome = JobOutcome::kStopped;
}

namespace {

// Blocks of a replay's destination that may wait for its writer thread: a replay only copies
// what it reads, so a few keep both threads busy, and memory small whatever the log's length.
constexpr std::size_t kReplayQueuedBlocks = 4;

constexpr const char* kReadOnce =
    "Error the log can be read only once (it is a pipe): save it to a file to re-time it, to "
    "loop it, or to send it live after writing it\n";

// A number with leading zeros up to width digits.
std::string Padded(std::int64_t value, int width) {
  char digits[24];
  return std::string(digits, WriteDigits(digits, static_cast<std::uint64_t>(value), width));
}

// "hh:mm:ss.sss[ on yyyy-mm-dd]" for a time of day and, when dated, its date.
std::string MomentText(std::int64_t msOfDay, const CalendarDate* date) {
  std::string text = Padded(msOfDay / 3600000, 2) + ":" + Padded(msOfDay / 60000 % 60, 2) + ":" +
                     Padded(msOfDay / 1000 % 60, 2) + "." + Padded(msOfDay % 1000, 3);
  if (date) {
    text +=
        " on " + Padded(date->year, 4) + "-" + Padded(date->month, 2) + "-" + Padded(date->day, 2);
  }
  return text;
}

// What re-timing does to the log, said once it is open: how far its times move (from its first
// time to where that goes), or why they cannot. Empty without re-timing.
std::string RetimingNote(const ReplaySettings& settings, const ReplayTrack& track,
                         const std::string& log) {
  if (!settings.startMsOfDay && !settings.date) return {};
  const ReplayReference& first = track.Reference();
  if (!first.hasTime) return log + " has no time of day: nothing in it is re-timed";
  const bool dated = first.hasDate && settings.date;
  const DayAndTime moved = SplitDays(first.firstTimeMs + track.OffsetMs());
  const CalendarDate movedDate = DateFromDays(DaysFromDate(first.firstDate) + moved.day);
  std::string note = "times moved by " + std::to_string(track.OffsetMs()) + " ms: the first, " +
                     MomentText(first.firstTimeMs, dated ? &first.firstDate : nullptr) +
                     ", becomes " + MomentText(moved.msOfDay, dated ? &movedDate : nullptr);
  if (settings.date && !first.hasDate) {
    note += "; " + log + " has no date (RMC or ZDA), so no date moves";
  }
  return note;
}

void KeepReplayCounts(const ReplayTrack& track, JobSummary& summary) {
  summary.logLines = track.Counts();
  summary.positions = track.Positions();
}

}  // namespace

void TrackJob::ReplayFailed(Work& run, const ReplayTrack& track) {
  const std::error_code error = track.Error();
  if (error == std::errc::invalid_seek) {
    prompter_.ShowMessage(kReadOnce + run.settings.source);
  } else {
    prompter_.ShowFailure("Error reading the input file\n" + run.settings.source, error);
  }
  run.summary.outcome = JobOutcome::kSourceUnread;
  run.EndLive(false);
}

bool TrackJob::OpenReplay(Work& run, ReplayTrack& track) {
  ProgressMonitor* const progress = run.progress;
  if (track.Open(run.settings.source,
                 [progress] { return progress && progress->StopRequested(); })) {
    return true;
  }
  if (run.StopRequested()) {
    run.summary.outcome = JobOutcome::kStoppedReading;
    run.EndLive(false);
  } else if (!track.IsOpen()) {
    prompter_.ShowFailure("Error can't open the input file\n" + run.settings.source, track.Error());
    run.summary.outcome = JobOutcome::kSourceUnread;
    run.EndLive(false);
  } else {
    ReplayFailed(run, track);
  }
  return false;
}

bool TrackJob::ReplayWentOn(Work& run, const ReplayTrack& track, bool& stopped) {
  if (!track.Error()) return true;
  if (run.StopRequested()) {
    stopped = true;
    return true;
  }
  ReplayFailed(run, track);
  return false;
}

// A replayed log: opened and its first burst read before the destination is touched, then
// streamed burst by burst into the destination, then played again live, round after round with
// the loop. The log is never held whole.
void TrackJob::RunReplay(Work& run) {
  const JobSettings& settings = run.settings;
  JobSummary& summary = run.summary;
  summary.replay = true;
  summary.keptBad = settings.replay->keepBad;
  // The source is no POI file: the window's source table and map show no points.
  engine_.FreePoiList();
  engine_.FillSourceTable();
  engine_.ResetOutputTable();
  ReplayTrack track(*settings.replay);
  if (!OpenReplay(run, track)) return;
  if (const std::string note = RetimingNote(*settings.replay, track, settings.source);
      !note.empty()) {
    prompter_.ShowNote(note);
  }
  bool stopped = false;
  if (run.toFile()) {
    TrackFile file;
    if (run.toStdout()) {
      file.Attach(settings.standardOutput);
    } else if (const DestinationOpening opening =
                   OpenDestination(file, settings.dest, settings.source, prompter_);
               opening != DestinationOpening::kOpen) {
      summary.outcome = opening == DestinationOpening::kDeclined ? JobOutcome::kDeclined
                                                                 : JobOutcome::kOpenFailed;
      run.EndLive(false);
      return;
    }
    file.SetMostQueued(kReplayQueuedBlocks);
    FixTee heard(run.listener, nullptr);
    const FileResult written = WriteFixes(track, &file, engine_, heard, run.progress, summary);
    KeepReplayCounts(track, summary);
    if (written.failed) {
      if (const auto lines = file.LinesKept()) {
        engine_.KeepOutputRows(static_cast<std::size_t>(*lines));
      }
      prompter_.ShowFailure("Error writing output file \n" + run.DestName(), file.Error());
      summary.outcome = JobOutcome::kWriteFailed;
      run.EndLive(false);
      return;
    }
    stopped = written.stopped;
    if (!stopped && !ReplayWentOn(run, track, stopped)) return;
  }
  if (run.live && !stopped) {
    if (run.toFile() && !track.Restart()) {
      ReplayFailed(run, track);
      return;
    }
    stopped = SendRounds(track, *run.live, run.toFile() ? nullptr : run.listener,
                         settings.live.loop, run.progress);
    KeepReplayCounts(track, summary);
    if (!stopped && !ReplayWentOn(run, track, stopped)) return;
  }
  run.EndLive(!stopped);
  if (stopped) summary.outcome = JobOutcome::kStopped;
}

bool NoTrack(const JobSummary& summary) {
  if (summary.replay) return summary.logLines.sentences == 0;
  return summary.receiver ? summary.pointsRead == 0 : summary.pointsRead < 2;
}

bool TrackJob::WriteReceiverFiles(Work& run, const ReceiverRoute& route, const ReceiverPlan& plan,
                                  const std::vector<AlmanacRecord>& almanac, bool& stopped,
                                  bool& lastDate) {
  const JobSettings& settings = run.settings;
  JobSummary& summary = run.summary;
  if (!CheckFiles(run)) return false;
  TrackFile file;
  if (run.toStdout()) {
    file.Attach(settings.standardOutput);
  } else if (run.toFile()) {
    // Asked about already: this opens it, or says why it cannot.
    if (const DestinationOpening opening =
            OpenDestination(file, settings.dest, settings.source, prompter_);
        opening != DestinationOpening::kOpen) {
      summary.outcome = JobOutcome::kOpenFailed;
      return false;
    }
  }
  engine_.ResetOutputTable();
  PointCounter counter;
  FixTee timedAndListener(run.timed, run.listener);
  FixTee heard(&counter, &timedAndListener);
  ReceiverTrack track(route, plan, almanac);
  const FileResult written =
      WriteFixes(track, run.toFile() ? &file : nullptr, engine_, heard, run.progress, summary);
  summary.pointsWritten = counter.reached;
  lastDate = track.ReachedLastDate();
  CloseTimedFiles(run);
  if (written.failed) {
    prompter_.ShowFailure("Error writing output file \n" + run.DestName(), file.Error());
    summary.outcome = JobOutcome::kWriteFailed;
    return false;
  }
  stopped = written.stopped;
  return summary.outcome == JobOutcome::kDone;
}

std::string NoTrackLine(const JobSummary& summary, const std::string& source) {
  if (summary.replay) {
    const std::string leftOut = LeftOutText(summary);
    return "no replay: " + source + " holds no NMEA sentence" +
           (leftOut.empty() ? std::string() : " (" + leftOut + ")");
  }
  return "no track: " + std::to_string(summary.pointsRead) + " points read from " + source +
         (summary.sourceHasUtf16Mark
              ? ", which starts with a UTF-16 byte-order mark: save it as UTF-8"
              : "");
}

std::string WrittenLine(const JobSummary& summary, const std::string& destName) {
  if (summary.replay) {
    const std::string leftOut = LeftOutText(summary);
    return std::to_string(summary.fixesWritten) +
           (summary.fixesWritten == 1 ? " burst, " : " bursts, ") +
           std::to_string(summary.sentencesWritten) + " sentences written to " + destName +
           (leftOut.empty() ? std::string() : "; " + leftOut);
  }
  std::string line = std::to_string(summary.pointsRead) + " points read, ";
  if (summary.receiver) line += std::to_string(summary.fixesWritten) + " fixes, ";
  return line + std::to_string(summary.sentencesWritten) + " sentences written to " + destName;
}

std::string LeftOutText(const JobSummary& summary) {
  const NmeaLogCounts& lines = summary.logLines;
  const auto count = [](std::uint64_t n, const char* what) {
    return n == 0 ? std::string() : ", " + std::to_string(n) + " " + what;
  };
  const std::string bad =
      count(lines.notNmea, "not NMEA") + count(lines.badChecksum, "with a bad checksum");
  const std::string tooLong = count(lines.tooLong, "too long");
  // "N lines VERB: WHAT" without WHAT's leading comma.
  const auto listed = [](std::uint64_t n, const std::string& what, const char* verb) {
    return std::to_string(n) + (n == 1 ? " line " : " lines ") + verb + ": " + what.substr(2);
  };
  if (!summary.keptBad) {
    return lines.Bad() == 0 ? std::string() : listed(lines.Bad(), bad + tooLong, "left out");
  }
  const std::uint64_t kept = lines.notNmea + lines.badChecksum;
  std::string text;
  if (kept > 0) text = listed(kept, bad, kept == 1 ? "sent as it stands" : "sent as they stand");
  if (!tooLong.empty()) {
    text += (text.empty() ? "" : "; ") + listed(lines.tooLong, tooLong, "left out");
  }
  return text;
}

std::string TimedFilesLine(const JobSummary& summary) {
  std::string line = std::to_string(summary.timedFixesWritten) + " fixes written to ";
  for (std::size_t i = 0; i < summary.timedFiles.size(); ++i) {
    line += (i > 0 ? " and " : "") + summary.timedFiles[i];
  }
  if (summary.timedFixesLeftOut > 0) {
    line += ", " + std::to_string(summary.timedFixesLeftOut) +
            " left out (a position off the Earth, or a year outside 0 to 9999)";
  }
  return line;
}

}  // namespace wayloom
