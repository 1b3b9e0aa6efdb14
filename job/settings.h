// Every setting a person gives, as the text typed on the command line or in the window, and its
// check: one check a setting and one message each, so that both front ends take and refuse the
// same texts with the same words. Each front end names the settings its own way (the command line
// by option, the window by field), so a message names a setting through the front end's names.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "job/track_job.h"
#include "sentences/fix_sentences.h"

namespace wayloom {

enum class Setting {
  kStep,
  kPeriod,
  kRuns,
  kDate,
  kExtraPoints,
  kSpeed,  // receiver mode
  kDwell,
  kStart,
  kSentences,
  kNoise,
  kSeed,
  kServe,  // live output
  kUdp,
  kPty,
  kSpeedup,
  kWaitClients,
  kClientTimeout,
};

// A setting's name as a front end shows it: "--step", or the window's "Time period in seconds".
using SettingNames = std::function<std::string(Setting)>;

// The settings as typed. An absent optional is a setting not given.
struct SettingTexts {
  std::string step = "100";
  std::string period = "1";
  std::string runs = "1";
  std::optional<std::string> date;  // dated RMC sentences (receiver mode: today unless given)
  bool extraPoints = false;
  std::optional<std::string> speed;  // given: receiver mode
  std::string dwell = "0";
  std::string start = "01:00:00";
  std::string sentences{kDefaultSentences};
  std::string noise = "0";
  std::string seed = "1";
  std::optional<std::string> serve;
  std::optional<std::string> udp;
  std::optional<std::string> pty;
  std::string speedup = "1";
  std::string waitClients = "0";
  std::string clientTimeout = "30";
  bool loop = false;
  // The front end's language writes a decimal comma: in a decimal setting, a comma that stands
  // where the point would (one comma, no point) reads as the point.
  bool decimalComma = false;
};

// Checks texts, in a fixed order so that the first bad setting is the one named, and fills
// everything of settings but the source and the destination. An error text naming the setting
// through names, empty when every setting is good.
std::string CheckSettings(const SettingTexts& texts, const SettingNames& names,
                          JobSettings& settings);

// Why a setting given (the step, the runs, extra points) is refused in receiver mode.
std::string NotForReceiver(Setting setting, const SettingNames& names);

}  // namespace wayloom
