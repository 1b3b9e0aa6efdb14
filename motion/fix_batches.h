// The positions of a track, gathered in batches and formatted into their sentences a batch at a
// time: a full batch is formatted on a thread of its own while the writer goes on with the next,
// and the batches come back, formatted, in the order they were filled.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/calendar.h"
#include "base/fix.h"
#include "base/number_text.h"
#include "sources/poi_file.h"

namespace wayloom {

// The coordinate texts of a classic track's fix, as its sentences carry them: a point of the POI
// list has the texts of its node (its source-table row), which stay as they are while a track is
// written; an extra point has its coordinates printed "%.5f" into texts of its own.
struct FixTexts {
  FixTexts(const Fix& fix, const PoiList& list);
  std::string_view latitude;
  std::string_view longitude;

 private:
  char latitudeRoom_[kFixedTextCapacity];
  char longitudeRoom_[kFixedTextCapacity];
};

class FixBatch {
 public:
  // Large enough that starting a thread costs little beside formatting the batch.
  static constexpr std::size_t kCapacity = 8192;

  FixBatch() { fixes_.reserve(kCapacity); }

  // A new fix at the end, to be filled in.
  Fix& Add() { return fixes_.emplace_back(); }
  bool Full() const { return fixes_.size() >= kCapacity; }
  bool Empty() const { return fixes_.empty(); }
  std::size_t Size() const { return fixes_.size(); }
  const Fix& At(std::size_t index) const { return fixes_[index]; }
  void Clear();

  // Builds the GGA and RMC sentence of every fix, the texts of points taken from list; RMC
  // sentences are dated when date is not null.
  void Format(const CalendarDate* date, const PoiList& list);
  // The sentences of a fix, without their line ends, and both with their CR LF ends.
  std::string_view Gga(std::size_t index) const;
  std::string_view Rmc(std::size_t index) const;
  std::string_view Pair(std::size_t index) const;
  // The sentences of the first count fixes as the track file has them: lines with CR LF ends, the
  // first LinesSize(count) characters of Lines().
  std::string& Lines() { return text_; }
  std::size_t LinesSize(std::size_t count) const {
    return count == 0 ? 0 : ends_[2 * count - 1] + 2;
  }

 private:
  std::vector<Fix> fixes_;
  std::string text_;                 // the sentences, one after another, each ended by CR LF
  std::vector<std::uint32_t> ends_;  // where each sentence ends in text_ (before its CR LF)
};

// Batches on their way through formatting, oldest first. Full batches are formatted by worker
// threads, one for each thread the machine runs at once, started with the first of them and kept
// until the queue goes.
class BatchQueue {
 public:
  BatchQueue() = default;
  BatchQueue(const BatchQueue&) = delete;
  BatchQueue& operator=(const BatchQueue&) = delete;
  ~BatchQueue();

  // The batch the writer fills; empty after Submit.
  FixBatch& Filling() { return *filling_; }
  // Sends the filling batch to be formatted with the texts of list: by the workers, or on this
  // thread (at the end of a track, when it is the last).
  void Submit(const CalendarDate* date, const PoiList& list, bool onThisThread);
  // How many submitted batches are not yet taken.
  std::size_t Pending() const { return pending_.size(); }
  // Whether the oldest submitted batch is formatted.
  bool OldestReady() const;
  // The oldest submitted batch, formatted (waiting for it if need be), until the next call of
  // TakeOldest or Clear. Only while Pending() is not 0.
  FixBatch& TakeOldest();
  // Waits for every batch being formatted and drops them all, the filling one too.
  void Clear();

 private:
  struct Submitted {
    std::unique_ptr<FixBatch> batch;
    std::future<void> formatted;  // invalid when formatted on this thread
  };
  struct Job {
    FixBatch* batch;
    const CalendarDate* date;
    const PoiList* list;
    std::promise<void> formatted;
  };
  void Work();

  std::unique_ptr<FixBatch> filling_ = std::make_unique<FixBatch>();
  std::deque<Submitted> pending_;
  std::unique_ptr<FixBatch> taken_;  // the batch TakeOldest gave last
  std::vector<std::unique_ptr<FixBatch>> spare_;

  std::vector<std::thread> workers_;
  std::mutex mutex_;  // guards jobs_ and stopping_
  std::condition_variable jobAdded_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
};

}  // namespace wayloom
