#include "job/receiver_track.h"

#include <algorithm>

#include "base/units.h"
#include "sentences/fields.h"

namespace wayloom {
namespace {

// The geoid above the WGS84 ellipsoid, as GGA reports it: the antenna stands this much higher
// above the ellipsoid than its altitude above the geoid.
constexpr double kGeoidSeparationMetres = 47.0;

}  // namespace

ReceiverTrack::ReceiverTrack(const ReceiverRoute& route, const ReceiverPlan& plan,
                             const std::vector<AlmanacRecord>& almanac)
    : poiIndices_(route.poiIndices),
      route_(route),
      motion_(plan.motion),
      stream_(route.points, plan.motion, plan.startMs, route.details),
      sky_(plan.sky, almanac, UtcMsOf(plan.date, plan.startMs)),
      sentences_(plan.sentences, plan.date),
      startMs_(plan.startMs),
      endClockMs_((DaysFromDate(kLastSentenceDate) + 1 - DaysFromDate(plan.date)) * kMsPerDay),
      date_(plan.date),
      outages_(plan.outages) {}

bool ReceiverTrack::InOutage(std::int64_t clockMs) const {
  const double seconds = static_cast<double>(clockMs - startMs_) / 1000.0;
  for (const Outage& outage : outages_) {
    if (seconds >= outage.startSeconds && seconds < outage.startSeconds + outage.seconds) {
      return true;
    }
  }
  return false;
}

const SkyView& ReceiverTrack::Silenced(const SkyView& sky) {
  silenced_ = sky;
  for (SatelliteInView& satellite : silenced_.satellites) {
    satellite.signalDbHz = 0;
    satellite.used = false;
  }
  silenced_.usedCount = 0;
  silenced_.hasFix = false;
  silenced_.hdop = silenced_.vdop = silenced_.pdop = 0.0;
  return silenced_;
}

bool ReceiverTrack::Next() {
  if (reachedLastDate_ || !stream_.Next(fix_)) return false;
  if (newRound_) roundFirstMs_ = fix_.clockMs;
  newRound_ = false;
  streamClockMs_ = fix_.clockMs;
  return Make();
}

bool ReceiverTrack::Make() {
  fix_.clockMs = streamClockMs_ + clockOffsetMs_;
  if (static_cast<std::int64_t>(fix_.clockMs) >= endClockMs_) {
    reachedLastDate_ = true;
    return false;
  }
  BuildSentences(fix_);
  return true;
}

void ReceiverTrack::BuildSentences(const Fix& fix) {
  const auto clockMs = static_cast<std::int64_t>(fix.clockMs);
  const SkyView& sky =
      sky_.At({fix.latitude, fix.longitude, fix.altitudeMetres + kGeoidSeparationMetres},
              UtcMsOf(date_, clockMs));
  sentences_.Build(fix, InOutage(clockMs) ? Silenced(sky) : sky);
}

bool ReceiverTrack::Stand(const Fix& held) {
  if (static_cast<std::int64_t>(held.clockMs) >= endClockMs_) return false;
  BuildSentences(held);
  return true;
}

bool ReceiverTrack::ShiftClock(double deltaMs) {
  clockOffsetMs_ += deltaMs;
  return !newRound_ && Make();
}

bool ReceiverTrack::Timeline(TrackTimeline& timeline) const {
  FixStream dry(route_.points, motion_, startMs_, route_.details);
  std::size_t most = 0;
  for (const std::size_t index : poiIndices_) most = std::max(most, index + 1);
  timeline.pointMs.assign(most, -1.0);
  Fix fix;
  bool any = false;
  double firstMs = 0.0;
  for (std::size_t told = 0; dry.Next(fix);) {
    if (!any) firstMs = fix.clockMs;
    any = true;
    timeline.lengthMs = fix.clockMs - firstMs;
    for (; told < dry.PointsReached(); ++told) {
      double& at = timeline.pointMs[poiIndices_[told]];
      if (at < 0.0) at = timeline.lengthMs;
    }
  }
  return any;
}

bool ReceiverTrack::SkipTo(double roundMs) {
  if (!newRound_ && RoundMs() == roundMs) return Make();
  if (!newRound_ && RoundMs() > roundMs) StartOver();
  while (stream_.Next(fix_)) {
    if (newRound_) roundFirstMs_ = fix_.clockMs;
    newRound_ = false;
    streamClockMs_ = fix_.clockMs;
    if (RoundMs() >= roundMs) return Make();
  }
  return false;
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
  newRound_ = true;
}

}  // namespace wayloom
