#include "job/receiver_track.h"

#include "motion/track_engine.h"

namespace wayloom {
namespace {

// Sentences between two progress reports of a receiver's track.
constexpr std::uint64_t kProgressSentences = 8192;

}  // namespace

ReceiverFixes::ReceiverFixes(const ReceiverRoute& route, const ReceiverPlan& plan)
    : poiIndices_(route.poiIndices),
      stream_(route.points, plan.motion, plan.startMs),
      sentences_(plan.kinds, plan.date) {}

bool ReceiverFixes::Next() {
  if (!stream_.Next(fix_)) return false;
  sentences_.Build(fix_);
  ++fixCount_;
  return true;
}

void ReceiverFixes::Tell(ReceiverListener& listener) {
  const std::size_t reached = stream_.PointsReached();
  for (; told_ < reached; ++told_) listener.OnPointReached(poiIndices_[told_]);
  listener.OnFix(ReceiverFix{fix_, told_ > 0 ? poiIndices_[told_ - 1] : 0, fixCount_, sentences_});
}

void ReceiverFixes::StartOver() {
  stream_.StartOver();
  told_ = 0;
}

ReceiverFileSummary WriteReceiverFile(ReceiverFixes& fixes, TrackFile& file,
                                      ReceiverListener* listener,
                                      const std::function<bool()>& stopRequested) {
  ReceiverFileSummary summary;
  while (!summary.stopped && fixes.Next()) {
    const FixSentences& sentences = fixes.Sentences();
    for (std::size_t i = 0; i < sentences.Count() && !summary.failed; ++i) {
      summary.failed = !file.WriteLine(sentences.Sentence(i));
    }
    if (summary.failed) break;
    summary.fixes += 1;
    summary.sentences += sentences.Count();
    if (listener) fixes.Tell(*listener);
    summary.stopped = stopRequested && stopRequested();
  }
  summary.failed = !file.Close() || summary.failed;
  return summary;
}

bool SendReceiverRounds(ReceiverFixes& fixes, LiveFeed& feed, bool loop,
                        const std::function<bool()>& stopRequested, ReceiverListener* listener) {
  for (;;) {
    std::uint64_t roundFixes = 0;
    while (fixes.Next()) {
      ++roundFixes;
      const FixSentences& sentences = fixes.Sentences();
      feed.OnFix(static_cast<double>(fixes.Current().clockMs), sentences.Text(), sentences.Count());
      if (listener) fixes.Tell(*listener);
      if (stopRequested && stopRequested()) return true;
    }
    // A round without fixes (a route without points) would loop without end.
    if (!loop || roundFixes == 0) return false;
    fixes.StartOver();
  }
}

// The engine in receiver mode.

std::optional<ReceiverRoute> TrackEngine::LoadReceiverRoute() {
  LoadPoiFile();
  FillSourceTable();
  if (m_loadStatus != PoiReadStatus::kOk || !m_poiList) return std::nullopt;
  ReceiverRoute route = MakeReceiverRoute(*m_poiList, m_options.ReorderTicked());
  const std::string problem = RouteProblem(route.points);
  if (problem.empty()) return route;
  m_prompter.ShowMessage(problem + "\n" + m_strSourceFile);
  return std::nullopt;
}

void TrackEngine::CreateReceiverTrack(const ReceiverPlan& plan, ReceiverListener* listener) {
  const std::optional<ReceiverRoute> route = LoadReceiverRoute();
  if (!route) {
    m_summary = TrackSummary{};
    m_summary.outcome = m_loadStatus == PoiReadStatus::kStopped ? TrackOutcome::kStoppedReading
                                                                : TrackOutcome::kSourceUnread;
    return;
  }
  if (!OpenTrack()) return;

  // Each fix, once its lines are in the file, goes to the output table, the progress count and
  // the listener.
  class Recorder : public ReceiverListener {
   public:
    Recorder(TrackEngine& engine, ReceiverListener* listener)
        : engine_(engine), listener_(listener) {}
    void OnPointReached(std::size_t poiIndex) override {
      ++engine_.m_summary.pointsWritten;
      if (listener_) listener_->OnPointReached(poiIndex);
    }
    void OnFix(const ReceiverFix& fix) override {
      const std::uint64_t before = engine_.m_summary.sentencesWritten;
      for (std::size_t i = 0; i < fix.sentences.Count(); ++i) {
        if (engine_.m_keepTables) engine_.m_nmeaTable.AppendRow(fix.sentences.Sentence(i));
      }
      engine_.m_summary.sentencesWritten += fix.sentences.Count();
      if (listener_) listener_->OnFix(fix);
      if (before / kProgressSentences != engine_.m_summary.sentencesWritten / kProgressSentences) {
        engine_.ReportProgress();
      }
    }

   private:
    TrackEngine& engine_;
    ReceiverListener* listener_;
  };
  Recorder recorder(*this, listener);
  ReceiverFixes fixes(*route, plan);
  const ReceiverFileSummary written = WriteReceiverFile(
      fixes, m_trackFile, &recorder, [this] { return m_progress && m_progress->StopRequested(); });
  if (written.failed) {
    m_summary.outcome = TrackOutcome::kWriteFailed;
    m_prompter.ShowFailure("Error writing output file \n" + m_strDestFile, m_trackFile.Error());
  } else {
    m_summary.outcome = written.stopped ? TrackOutcome::kStopped : TrackOutcome::kWritten;
  }
  ReportProgress();
}

}  // namespace wayloom
