// The settings of receiver mode as a person gives them (texts, typed on the command line or in the
// window) and their checks: both front ends turn the same texts into the same plan, or refuse them
// with the same message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/calendar.h"
#include "motion/receiver.h"
#include "sentences/fix_sentences.h"

namespace wayloom {

// The texts of the receiver settings, as given.
struct ReceiverSettings {
  std::string speed;
  std::string dwell = "0";
  std::string start = "01:00:00";
  std::string sentences{kDefaultSentences};
  std::string noise = "0";
  std::string seed = "1";
};

// The checked settings: how the receiver moves, what it sends, and when it starts.
struct ReceiverPlan {
  ReceiverMotion motion;
  std::vector<SentenceKind> kinds;
  CalendarDate date;
  std::int64_t startMs = 0;  // since midnight of date
};

// The step or the period as the command line takes it: a number written out in decimals (an
// optional sign, digits, an optional point and fraction; no exponent, no comma) and 0 or of a size
// from 1e-9 to 1e9. An error text naming option, empty when it is good.
std::string CheckDecimalSetting(std::string_view option, const std::string& text);

// Why option (--extra, --step, ...) is refused in receiver mode.
std::string NotForReceiver(std::string_view option);

// Checks settings with the period text and the date given (none: today's date) and fills plan.
// An error text, empty when every setting is good. The checks run in a fixed order, so that the
// first bad setting is the one named.
std::string CheckReceiverSettings(const ReceiverSettings& settings, const std::string& period,
                                  const std::optional<CalendarDate>& date, ReceiverPlan& plan);

}  // namespace wayloom
