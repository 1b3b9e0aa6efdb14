#include "job/live_session.h"

#include <utility>

namespace wayloom {

// Hears every fix once it is sent and tells the status where the track is; shows the job's
// messages in the status; asks the job to stop when the session is stopped.
class LiveSession::Listener : public FixListener, public Prompter, public ProgressMonitor {
 public:
  Listener(LiveSession& session, const LiveOutputs& outputs)
      : session_(session), outputs_(outputs) {}
  // The job whose POI list names the points.
  void SetJob(const TrackJob& job) { job_ = &job; }

  void OnPointReached(std::size_t poiIndex) override { poiIndex_ = poiIndex; }

  void OnFix(const Fix& fix, const SentenceLines& sentences) override {
    const std::lock_guard<std::mutex> lock(session_.mutex_);
    LiveStatus& status = session_.status_;
    status.counts = outputs_.Counts();
    if (status.counts.fixesSent == fixesAtLastFix_) return;  // not sent: the session is stopping
    fixesAtLastFix_ = status.counts.fixesSent;
    session_.sentences_.AddLines(sentences.Text());
    status.clockMs = fix.clockMs;
    status.speedKnots = fix.speedKnots;
    status.courseDegrees = fix.courseDegrees;
    status.satellites = SatellitesUsed(sentences.Text());
    if (fix.hasPosition) {  // a replayed burst may report none: the last position stands
      status.hasFix = true;
      status.latitude = fix.latitude;
      status.longitude = fix.longitude;
    }
    const std::shared_ptr<const PoiList>& points = job_->Engine().PoiPoints();
    if (poiIndex_ != Fix::kNoPoint && points && poiIndex_ < points->size()) {
      status.description.assign((*points)[poiIndex_].szDescription);
    }
  }

  // The job's messages wait in the status for the front end to show them.
  void ShowMessage(const std::string& text) override {
    const std::lock_guard<std::mutex> lock(session_.mutex_);
    session_.status_.messages.push_back(text);
  }
  void ShowNote(const std::string& text) override {
    const std::lock_guard<std::mutex> lock(session_.mutex_);
    session_.status_.notes.push_back(text);
  }
  // A file failure with the system's reason on a line of its own, as the command line says it.
  void ShowFailure(const std::string& text, std::error_code reason) override {
    ShowMessage(reason ? text + "\n" + ReasonText(reason) : text);
  }
  // Never asked: a live session writes no file.
  bool AskYesNo(const std::string&) override { return false; }

  void Report(const TrackProgress&) override {}
  bool StopRequested() override { return session_.stop_.load(std::memory_order_relaxed); }

 private:
  LiveSession& session_;
  const LiveOutputs& outputs_;
  const TrackJob* job_ = nullptr;
  std::uint64_t fixesAtLastFix_ = 0;
  std::size_t poiIndex_ = Fix::kNoPoint;
};

bool LiveSession::Start(const JobSettings& settings, bool reorder, bool extraPoints,
                        std::string& error) {
  if (Running()) {
    error = "live output is running already";
    return false;
  }
  Stop();  // collects a session that ended by itself
  wake_ = std::make_unique<WakePipe>();
  stop_.store(false);
  auto outputs = std::make_unique<LiveOutputs>(
      settings.live, [this] { return Serving(); }, wake_->ReadFd());
  if (!outputs->Open(error)) return false;
  serving_ = outputs.get();
  playback_ = settings.live.playback;
  if (playback_) playback_->SetWake([wake = wake_.get()] { wake->Wake(); });
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    status_ = LiveStatus{};
    sentences_.Clear();
    status_.running = true;
    status_.settings = settings.live;
    status_.endpoints = outputs->Endpoints();
  }
  thread_ =
      std::thread(&LiveSession::Run, this, settings, reorder, extraPoints, std::move(outputs));
  return true;
}

void LiveSession::Run(JobSettings settings, bool reorder, bool extraPoints,
                      std::unique_ptr<LiveOutputs> outputs) {
  FixedOptions options(reorder, extraPoints);
  Listener listener(*this, *outputs);
  TrackJob job(listener, options);
  listener.SetJob(job);
  job.Engine().SetKeepTables(false);
  settings.dest.clear();
  settings.gpx.clear();
  settings.kml.clear();
  const JobSummary summary =
      job.Run(settings, &listener, &listener, wake_->ReadFd(), std::move(outputs));
  serving_ = nullptr;
  const std::lock_guard<std::mutex> lock(mutex_);
  status_.running = false;
  if (summary.live) status_.counts = summary.liveCounts;  // what went out, past the Stop
  status_.stopped = stop_.load() || summary.outcome == JobOutcome::kStopped;
}

bool LiveSession::Serving() {
  if (serving_) {
    const std::lock_guard<std::mutex> lock(mutex_);
    status_.counts = serving_->Counts();
  }
  return stop_.load(std::memory_order_relaxed);
}

void LiveSession::Stop() {
  if (thread_.joinable()) {
    stop_.store(true);
    if (wake_) wake_->Wake();
    thread_.join();
  }
  if (playback_) playback_->SetWake(nullptr);
  playback_.reset();
  wake_.reset();
}

LiveStatus LiveSession::TakeStatus() {
  const std::lock_guard<std::mutex> lock(mutex_);
  LiveStatus status = status_;
  status_.messages.clear();
  return status;
}

std::vector<std::string> LiveSession::SentencesSince(std::uint64_t seen, std::uint64_t& sent) {
  const std::lock_guard<std::mutex> lock(mutex_);
  sent = sentences_.Added();
  return sentences_.Since(seen);
}

bool LiveSession::Running() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return status_.running;
}

}  // namespace wayloom
