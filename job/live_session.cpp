#include "job/live_session.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "job/receiver_track.h"
#include "motion/track_engine.h"
#include "outputs/live/live_feed.h"

namespace wayloom {

// Hands every pair to the feed, and once it is sent (or a receiver's fix), tells the status where
// the track is.
class LiveSession::Listener : public TrackListener,
                              public ReceiverListener,
                              public Prompter,
                              public ProgressMonitor {
 public:
  Listener(LiveSession& session, LiveFeed& feed) : session_(session), feed_(feed) {}
  // The engine whose source table names the points.
  void SetEngine(const TrackEngine& engine) { engine_ = &engine; }

  void OnPosition(double latitude, double longitude, std::size_t poiIndex) override {
    latitude_ = latitude;
    longitude_ = longitude;
    poiIndex_ = poiIndex;
  }

  void OnSentencePair(double clockMs, std::string_view gga, std::string_view rmc) override {
    feed_.OnSentencePair(clockMs, gga, rmc);
    Sent(latitude_, longitude_, poiIndex_);
  }

  // A receiver's fix, once the feed has it.
  void OnFix(const ReceiverFix& fix) override {
    Sent(fix.fix.latitude, fix.fix.longitude, fix.poiIndex);
  }

  // The engine's messages wait in the status for the front end to show them.
  void ShowMessage(const std::string& text) override {
    const std::lock_guard<std::mutex> lock(session_.mutex_);
    session_.status_.messages.push_back(text);
  }
  // Never asked: the live engine writes no file.
  bool AskYesNo(const std::string&) override { return false; }

  void Report(const TrackProgress&) override {}
  bool StopRequested() override { return session_.stop_.load(std::memory_order_relaxed); }

 private:
  // What the feed has sent so far; the position is that of the last sentences sent.
  void Sent(double latitude, double longitude, std::size_t poiIndex) {
    const std::lock_guard<std::mutex> lock(session_.mutex_);
    LiveStatus& status = session_.status_;
    status.sentencesSent = feed_.SentencesSent();
    status.clients = session_.server_ ? session_.server_->ClientCount() : 0;
    if (status.sentencesSent == sentAtLastFix_) return;
    sentAtLastFix_ = status.sentencesSent;
    status.hasFix = true;
    status.latitude = latitude;
    status.longitude = longitude;
    // The command-line-like engine keeps no tables: the description comes from its POI list.
    if (poiIndex != kExtraPoint && engine_ && engine_->PoiPoints() &&
        poiIndex < engine_->PoiPoints()->size()) {
      status.description.assign((*engine_->PoiPoints())[poiIndex].szDescription);
    }
  }

  LiveSession& session_;
  LiveFeed& feed_;
  std::uint64_t sentAtLastFix_ = 0;
  const TrackEngine* engine_ = nullptr;
  double latitude_ = 0.0;
  double longitude_ = 0.0;
  std::size_t poiIndex_ = kExtraPoint;
};

bool LiveSession::Start(const LiveRequest& request, std::string& error) {
  if (Running()) {
    error = "live output is running already";
    return false;
  }
  Stop();  // collects a session that ended by itself
  std::string address;
  if (request.target == LiveRequest::Target::kTcp) {
    server_ = std::make_unique<TcpServer>();
    if (!server_->Listen(request.host, request.port, error)) {
      server_.reset();
      return false;
    }
    address = server_->BoundAddress();
  } else if (request.target == LiveRequest::Target::kUdp) {
    udp_ = std::make_unique<UdpSender>();
    if (!udp_->Open(request.host, request.port, error)) {
      udp_.reset();
      return false;
    }
    address = udp_->Destination();
  } else {
    pty_ = std::make_unique<PtyLink>();
    if (!pty_->Open(request.ptyLink, error)) {
      pty_.reset();
      return false;
    }
    address = pty_->DevicePath();
  }
  if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  stop_.store(false);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    status_ = LiveStatus{};
    status_.running = true;
    status_.address = address;
  }
  thread_ = std::thread(&LiveSession::Run, this, request);
  return true;
}

void LiveSession::Run(LiveRequest request) {
  FixedOptions options(request.reorder, request.extraPoints);
  LiveFeed feed(
      request.speedup, server_.get(), pty_.get(), 0,
      [this] { return stop_.load(std::memory_order_relaxed); }, wake_[0]);
  feed.SetUdpSender(udp_.get());
  Listener listener(*this, feed);
  TrackEngine engine(listener, options);
  listener.SetEngine(engine);
  engine.m_strSourceFile = request.source;
  engine.m_strStepDistance = request.stepDistance;
  engine.m_strTimePeriod = request.timePeriod;
  engine.SetWriteTrackFile(false);
  engine.SetKeepTables(false);
  engine.SetRmcDate(request.date);
  engine.SetProgressMonitor(&listener);
  engine.SetTrackListener(&listener);

  bool completed = false;
  if (request.receiver) {
    // The file is read once; with loop the receiver travels the route again and again.
    engine.SetSourceMustBeRead(true);
    if (const std::optional<ReceiverRoute> route = engine.LoadReceiverRoute()) {
      ReceiverFixes fixes(*route, *request.receiver);
      completed = !SendReceiverRounds(
          fixes, feed, request.loop, [this] { return stop_.load(std::memory_order_relaxed); },
          &listener);
    }
  } else {
    // With loop, the rounds go on, the clock going on; a round that sends nothing (the file has
    // lost its points) ends it rather than looping without end.
    engine.CreateTrack();
    while (request.loop && engine.LastTrack().outcome == TrackOutcome::kWritten &&
           engine.LastTrack().sentencesWritten > 0 && !stop_.load()) {
      engine.SetTrackStartMs(engine.LastTrack().nextClockMs);
      engine.CreateTrack();
    }
    completed = engine.LastTrack().outcome == TrackOutcome::kWritten;
  }
  if (completed && !stop_.load()) {
    feed.Finish();
  } else {
    if (server_) server_->Close();
    if (pty_) pty_->Close();
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  status_.running = false;
  status_.clients = 0;
  status_.stopped = stop_.load();
}

void LiveSession::Stop() {
  if (thread_.joinable()) {
    stop_.store(true);
    if (wake_[1] >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
    }
    thread_.join();
  }
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  server_.reset();
  pty_.reset();
  udp_.reset();
}

LiveStatus LiveSession::TakeStatus() {
  const std::lock_guard<std::mutex> lock(mutex_);
  LiveStatus status = status_;
  status_.messages.clear();
  return status;
}

bool LiveSession::Running() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return status_.running;
}

}  // namespace wayloom
