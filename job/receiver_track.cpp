#include "job/receiver_track.h"

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
  const auto clockMs = static_cast<std::int64_t>(fix_.clockMs);
  if (clockMs >= endClockMs_) {
    reachedLastDate_ = true;
    return false;
  }
  const SkyView& sky =
      sky_.At({fix_.latitude, fix_.longitude, fix_.altitudeMetres + kGeoidSeparationMetres},
              UtcMsOf(date_, clockMs));
  sentences_.Build(fix_, InOutage(clockMs) ? Silenced(sky) : sky);
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
