#include "motion/fix_batches.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "sentences/nmea.h"

namespace wayloom {

FixTexts::FixTexts(const Fix& fix, const PoiList& list) {
  if (fix.poiIndex != Fix::kNoPoint) {
    const PoiView point = list[fix.poiIndex];
    latitude = point.szLat;
    longitude = point.szLon;
  } else {
    latitude = std::string_view(latitudeRoom_, WriteFixed(latitudeRoom_, fix.latitude, 5));
    longitude = std::string_view(longitudeRoom_, WriteFixed(longitudeRoom_, fix.longitude, 5));
  }
}

void FixBatch::Clear() {
  fixes_.clear();
  ends_.clear();
}

namespace {
// Room for a pair of sentences as most points have them (some 140 characters); longer ones make
// the text grow.
constexpr std::size_t kUsualPairSize = 160;

char* EndLine(char* end) {
  end[0] = '\r';
  end[1] = '\n';
  return end + 2;
}
}  // namespace

void FixBatch::Format(const CalendarDate* date, const PoiList& list) {
  ends_.clear();
  ends_.reserve(2 * fixes_.size());
  if (text_.size() < fixes_.size() * kUsualPairSize) text_.resize(fixes_.size() * kUsualPairSize);
  std::size_t used = 0;
  // The coordinate texts of points out of file order lie anywhere in the POI list: they are
  // fetched a few fixes ahead.
  constexpr std::size_t kFetchAhead = 8;
  for (std::size_t i = 0; i < fixes_.size(); ++i) {
    if (i + kFetchAhead < fixes_.size() && fixes_[i + kFetchAhead].poiIndex != Fix::kNoPoint) {
      list.PrefetchTexts(fixes_[i + kFetchAhead].poiIndex);
    }
    const Fix& fix = fixes_[i];
    if (text_.size() - used < 2 * (kSentenceCapacity + 2)) {
      text_.resize(std::max(2 * text_.size(), used + 2 * (kSentenceCapacity + 2)));
    }
    const FixTexts texts(fix, list);
    char* const start = text_.data();
    char* end = BuildGga(fix.clockMs, texts.latitude, texts.longitude, start + used);
    ends_.push_back(static_cast<std::uint32_t>(end - start));
    end = BuildRmc(fix.clockMs, texts.latitude, texts.longitude, fix.speedKnots, fix.courseDegrees,
                   date, EndLine(end));
    ends_.push_back(static_cast<std::uint32_t>(end - start));
    used = static_cast<std::size_t>(EndLine(end) - start);
  }
}

std::string_view FixBatch::Gga(std::size_t index) const {
  const std::size_t start = index == 0 ? 0 : ends_[2 * index - 1] + 2;
  return std::string_view(text_).substr(start, ends_[2 * index] - start);
}

std::string_view FixBatch::Rmc(std::size_t index) const {
  const std::size_t start = ends_[2 * index] + 2;
  return std::string_view(text_).substr(start, ends_[2 * index + 1] - start);
}

std::string_view FixBatch::Pair(std::size_t index) const {
  const std::size_t start = index == 0 ? 0 : ends_[2 * index - 1] + 2;
  return std::string_view(text_).substr(start, ends_[2 * index + 1] + 2 - start);
}

void BatchQueue::Submit(const CalendarDate* date, const PoiList& list, bool onThisThread) {
  Submitted submitted;
  submitted.batch = std::move(filling_);
  if (onThisThread) {
    submitted.batch->Format(date, list);
  } else {
    std::lock_guard<std::mutex> lock(mutex_);
    if (workers_.empty()) {
      const unsigned count = std::max(2u, std::thread::hardware_concurrency());
      for (unsigned i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
    }
    jobs_.push_back(Job{submitted.batch.get(), date, &list, {}});
    submitted.formatted = jobs_.back().formatted.get_future();
    jobAdded_.notify_one();
  }
  pending_.push_back(std::move(submitted));
  if (spare_.empty()) {
    filling_ = std::make_unique<FixBatch>();
  } else {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
    filling_->Clear();
  }
}

BatchQueue::~BatchQueue() {
  Clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobAdded_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void BatchQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    jobAdded_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, with nothing left to do
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    try {
      job.batch->Format(job.date, *job.list);
      job.formatted.set_value();
    } catch (...) {
      job.formatted.set_exception(std::current_exception());
    }
    lock.lock();
  }
}

bool BatchQueue::OldestReady() const {
  const std::future<void>& formatted = pending_.front().formatted;
  return !formatted.valid() ||
         formatted.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

FixBatch& BatchQueue::TakeOldest() {
  if (taken_) spare_.push_back(std::move(taken_));
  Submitted& oldest = pending_.front();
  if (oldest.formatted.valid()) oldest.formatted.get();
  taken_ = std::move(oldest.batch);
  pending_.pop_front();
  return *taken_;
}

void BatchQueue::Clear() {
  for (Submitted& submitted : pending_) {
    if (submitted.formatted.valid()) submitted.formatted.wait();
  }
  pending_.clear();
  filling_->Clear();
}

}  // namespace wayloom
