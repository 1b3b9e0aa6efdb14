// Every setting a person gives, as the text typed on the command line or in the window, and its
// check: one check a setting and one message each, so that both front ends take and refuse the
// same texts with the same words. Each front end names the settings its own way (the command line
// by option, the window by field), so a message names a setting through the front end's names.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

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
  kMask,
  kSystems,
  kAlmanac,
  kNmea,
  kOutage,
  kServe,  // live output
  kUdp,
  kPty,
  kSpeedup,
  kWaitClients,
  kClientTimeout,
  kReplay,  // a recorded NMEA log replayed
  kSerial,
  kEmulator,
  kEmulatorToken,
  kGpx,  // timed track files
  kKml,
  kCsv,  // what is read of the source
  kPath,
  kTimed,  // receiver mode in the route's recorded times
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
  // Receiver mode in the route's recorded times, instead of at a speed.
  bool timed = false;
  std::string dwell = "0";
  // Receiver mode: the first fix's time (01:00:00 unless given); a replay: where the log's first
  // time goes (not given: the log's own times).
  std::optional<std::string> start;
  std::string sentences{kDefaultSentences};
  std::string noise = "0";
  std::string seed = "1";
  std::string mask = "5";
  std::string systems = "gps";
  std::optional<std::string> almanac;
  std::string nmea = "2.3";
  std::vector<std::string> outages;  // each START+SECONDS
  std::optional<std::string> serve;
  std::optional<std::string> udp;
  std::optional<std::string> pty;
  std::string speedup = "1";
  std::string waitClients = "0";
  std::string clientTimeout = "30";
  std::vector<std::string> serial;  // DEVICE[:BAUD], a port each
  std::optional<std::string> emulator;
  std::optional<std::string> emulatorToken;
  bool loop = false;
  std::optional<std::string> replay;  // given: this recorded NMEA log is replayed
  bool keepBad = false;               // a replay sends the lines that are no sentence too
  std::optional<std::string> gpx;
  std::optional<std::string> kml;
  bool csv = false;                 // the source is a CSV with a header, whatever its first line
  std::optional<std::string> path;  // the source's path to read: its name or number from 1
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
// Why a setting given, by the name the front end gives it, is refused with a timed track.
std::string NotForTimed(const std::string& settingName, const SettingNames& names);
// Why a setting given, by the name the front end gives it, is refused with a replay.
std::string NotForReplay(const std::string& settingName, const SettingNames& names);

}  // namespace wayloom
