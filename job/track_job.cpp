#include "job/track_job.h"

#include <memory>

#include "job/receiver_track.h"
#include "outputs/destination.h"
#include "platform/platform.h"
#include "route/route.h"

namespace wayloom {
namespace {

// Sentences between two progress reports of a receiver's track.
constexpr std::uint64_t kProgressSentences = 8192;

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
  JobSummary summary;

  bool toFile() const { return !settings.dest.empty(); }
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
      return Ended(JobOutcome::kOutputsFailed);
    }
    for (const std::string& address : live->Addresses()) prompter_.ShowNote(address);
  }
  // Only now that the link exists can it be told whether the destination leads to it.
  if (live && !settings.live.ptyLink.empty() && !settings.dest.empty() && settings.dest != "-" &&
      SameCanonicalPath(settings.dest, settings.live.ptyLink)) {
    live->Close();
    return Ended(JobOutcome::kDestIsPtyLink);
  }
  Work run{settings, listener, progress, live.get(), {}};
  engine_.m_strSourceFile = settings.source;
  engine_.m_strDestFile = run.DestName();
  engine_.m_strStepDistance = settings.step;
  engine_.m_strTimePeriod = settings.period;
  engine_.SetProgressMonitor(progress);
  engine_.SetRmcDate(settings.date);
  engine_.SetSourceMustBeRead(true);
  engine_.SetTrackStartMs(TrackEngine::kTrackStartMs);
  if (settings.receiver) {
    RunReceiver(run);
  } else {
    RunClassic(run);
  }
  return run.summary;
}

// The classic tracks: the engine writes the destination (every run but the last only carries its
// course and speed over; on standard output the earlier runs go to the null device), then the last
// track goes out live once more from the same POI list, course and speed, and further rounds with
// the loop, the clock going on.
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
  engine_.SetWriteTrackFile(run.toFile());
  FixTee liveAndListener(run.live, run.listener);
  double lastCourse = engine_.Course();
  double lastSpeed = engine_.Speed();
  for (unsigned long round = 1; round <= settings.runs; ++round) {
    const bool last = round == settings.runs;
    if (run.toStdout()) engine_.SetOutputStream(last ? settings.standardOutput : discard.get());
    if (last) {
      lastCourse = engine_.Course();
      lastSpeed = engine_.Speed();
    }
    engine_.SetTrackListener(!last ? nullptr : run.toFile() ? run.listener : &liveAndListener);
    engine_.CreateTrack();
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
  if (!run.live) {
    engine_.SetTrackListener(nullptr);
    return;
  }

  engine_.SetWriteTrackFile(false);
  engine_.SetTrackListener(run.toFile() ? static_cast<FixListener*>(run.live) : &liveAndListener);
  TrackOutcome outcome = written.outcome;
  if (run.toFile() && outcome == TrackOutcome::kWritten) {
    engine_.SetCourseAndSpeed(lastCourse, lastSpeed);
    engine_.RepeatTrack();
    outcome = engine_.LastTrack().outcome;
  }
  // A round that sends nothing (the source has lost its points) would loop without end.
  while (settings.live.loop && outcome == TrackOutcome::kWritten &&
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

// Writes one round of track to file, a line per sentence, and closes it; every fix, once its lines
// are written, goes to the engine's output table, the listener and the progress count.
FileResult WriteFixes(FixSource& track, TrackFile& file, TrackEngine& engine, FixListener& listener,
                      ProgressMonitor* progress, JobSummary& summary) {
  FileResult result;
  while (!result.stopped && track.Next()) {
    const SentenceLines sentences = track.Sentences();
    result.failed = !file.WriteText(sentences.Text());
    if (result.failed) break;
    summary.fixesWritten += 1;
    const std::uint64_t before = summary.sentencesWritten;
    summary.sentencesWritten += sentences.Count();
    engine.ListSentences(sentences);
    track.Tell(listener);
    if (progress && before / kProgressSentences != summary.sentencesWritten / kProgressSentences) {
      progress->Report(
          TrackProgress{summary.pointsWritten, summary.pointsRead, summary.sentencesWritten});
    }
    result.stopped = progress && progress->StopRequested();
  }
  result.failed = !file.Close() || result.failed;
  return result;
}

// Sends a track to live, each fix when it is due, round after round with loop; listener (may be
// null) hears every fix once it is sent. True when it ended on a stop request.
bool SendRounds(FixSource& track, LiveOutputs& live, FixListener* listener, bool loop,
                ProgressMonitor* progress) {
  FixTee liveAndListener(&live, listener);
  for (;;) {
    std::uint64_t roundFixes = 0;
    while (track.Next()) {
      ++roundFixes;
      track.Tell(liveAndListener);
      if (progress && progress->StopRequested()) return true;
    }
    // A round without fixes (a route without points) would loop without end.
    if (!loop || roundFixes == 0) return false;
    track.StartOver();
  }
}

}  // namespace

// A receiver's track: the route read through the engine (so that the window shows its points),
// the destination written in full, then the same fixes live (the fixes follow from the settings
// alone, noise included, so they are made again rather than kept).
void TrackJob::RunReceiver(Work& run) {
  const JobSettings& settings = run.settings;
  JobSummary& summary = run.summary;
  summary.receiver = true;
  engine_.LoadPoiFile();
  engine_.FillSourceTable();
  summary.sourceHasUtf16Mark = engine_.SourceHasUtf16Mark();
  if (!engine_.SourceRead()) {
    summary.outcome =
        engine_.SourceReadingStopped() ? JobOutcome::kStoppedReading : JobOutcome::kSourceUnread;
    run.EndLive(false);
    return;
  }
  const PoiList& list = *engine_.PoiPoints();
  summary.pointsRead = list.PointCount();
  const ReceiverRoute route = MakeReceiverRoute(list, options_.ReorderTicked());
  if (const std::string problem = RouteProblem(route.points); !problem.empty()) {
    prompter_.ShowMessage(problem + "\n" + settings.source);
    summary.outcome = JobOutcome::kSourceUnread;
    run.EndLive(false);
    return;
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
    engine_.ResetOutputTable();
    PointCounter counter;
    FixTee heard(&counter, run.listener);
    ReceiverTrack track(route, *settings.receiver);
    const FileResult written = WriteFixes(track, file, engine_, heard, run.progress, summary);
    summary.pointsWritten = counter.reached;
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
  }
  if (run.live && !stopped) {
    ReceiverTrack track(route, *settings.receiver);
    stopped = SendRounds(track, *run.live, run.toFile() ? nullptr : run.listener,
                         settings.live.loop, run.progress);
  }
  run.EndLive(!stopped);
  if (stopped) summary.outcome = JobOutcome::kStopped;
}

std::string NoTrackLine(const JobSummary& summary, const std::string& source) {
  return "no track: " + std::to_string(summary.pointsRead) + " points read from " + source +
         (summary.sourceHasUtf16Mark
              ? ", which starts with a UTF-16 byte-order mark: save it as UTF-8"
              : "");
}

std::string WrittenLine(const JobSummary& summary, const std::string& destName) {
  std::string line = std::to_string(summary.pointsRead) + " points read, ";
  if (summary.receiver) line += std::to_string(summary.fixesWritten) + " fixes, ";
  return line + std::to_string(summary.sentencesWritten) + " sentences written to " + destName;
}

}  // namespace wayloom
