#include "job/receiver_track.h"

namespace wayloom {

ReceiverTrack::ReceiverTrack(const ReceiverRoute& route, const ReceiverPlan& plan)
    : poiIndices_(route.poiIndices),
      stream_(route.points, plan.motion, plan.startMs),
      sentences_(plan.kinds, plan.date) {}

bool ReceiverTrack::Next() {
  if (!stream_.Next(fix_)) return false;
  sentences_.Build(fix_);
  return true;
}

void ReceiverTrack::Tell(FixListener& listener) {
  for (const std::size_t reached = stream_.PointsReached(); told_ < reached; ++told_) {
    listener.OnPointReached(poiIndices_[told_]);
  }
  listener.OnFix(fix_, Sentences());
}

void ReceiverTrack::StartOver() {
  stream_.StartOver();
  told_ = 0;
}

}  // namespace wayloom
