// The settings checks both front ends share: every text a person may type, taken or refused with a
// message that names the setting as the front end names it.
#include "job/settings.h"
#include "outputs/live/emulator_console.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

// Names as a front end of the test's own gives them, so that a message shows which setting it
// names and that it asked the front end for the name.
std::string Named(Setting setting) { return "<" + std::to_string(static_cast<int>(setting)) + ">"; }

TEST(Settings, EachTextIsTakenOrRefusedWithItsSettingNamed) {
  const auto receiver = [](SettingTexts& t) { t.speed = "30"; };
  const struct {
    void (*change)(SettingTexts&);
    std::string problem;  // empty: taken
  } cases[] = {
      {[](SettingTexts&) {}, ""},
      {[](SettingTexts& t) { t.step = "1O0"; }, "<0> needs a decimal number"},
      {[](SettingTexts& t) { t.period = "0,5"; }, "<1> needs a decimal number"},
      {[](SettingTexts& t) { t.period = "-2"; }, ""},
      {[](SettingTexts& t) { t.decimalComma = true, t.period = "-0,5"; }, ""},
      {[](SettingTexts& t) { t.decimalComma = true, t.step = "1,000.5"; },
       "<0> needs a decimal number such as 2, 0.5 (or 0,5) or -1"},
      {[](SettingTexts& t) { t.decimalComma = true, t.speedup = "2,5"; }, ""},
      {[](SettingTexts& t) { t.runs = "0"; }, "<2> needs a whole number from 1 to 1000000"},
      {[](SettingTexts& t) { t.date = "2026-02-29"; }, "<3> needs a date as YYYY-MM-DD"},
      {[](SettingTexts& t) { t.serve = "[::1]10110"; }, "<16> needs [HOST:]PORT"},
      {[](SettingTexts& t) { t.udp = "127.0.0.1:0"; }, "<17> needs HOST:PORT with a port"},
      {[](SettingTexts& t) { t.pty = ""; }, "<18> needs a path for the link"},
      {[](SettingTexts& t) { t.speedup = "-1"; }, "<19> needs a number above 0"},
      {[](SettingTexts& t) { t.waitClients = "64"; }, ""},
      {[](SettingTexts& t) { t.waitClients = "65"; }, "<20> needs a whole number from 0 to 64"},
      {[](SettingTexts& t) { t.clientTimeout = "0"; }, "<21> needs a number of seconds above 0"},
      {[](SettingTexts& t) {
         t.serial = {"/dev/ttyS0", "COM3:1234"};
       },
       "<23>: the baud rate 1234"},
      {[](SettingTexts& t) { t.emulator = "0"; }, "<24>: the emulator console's address is"},
      {[](SettingTexts& t) { t.emulator = "", t.emulatorToken = ""; }, "<25> needs the path"},
      {[](SettingTexts& t) { t.gpx = "t.gpx"; }, "<26> needs <3> with the classic tracks"},
      {[](SettingTexts& t) { t.date = "2026-03-07", t.kml = ""; }, "<27> needs a file name"},
      {[](SettingTexts& t) { t.speed = "30", t.gpx = "t.gpx", t.kml = "t.kml"; }, ""},
      {receiver, ""},
      {[](SettingTexts& t) { t.speed = "0.0009"; }, "<5> needs a speed above 0 in knots"},
      {[](SettingTexts& t) { t.speed = "50 km/h"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.extraPoints = true; },
       "<4> does not apply with <5>"},
      {[](SettingTexts& t) { t.speed = "30", t.period = "0.0001"; },
       "<1> needs seconds from 0.001"},
      {[](SettingTexts& t) { t.speed = "30", t.dwell = "86400"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.dwell = "86401"; }, "<6> needs seconds from 0 to"},
      {[](SettingTexts& t) { t.speed = "30", t.noise = "100001"; }, "<9> needs metres from 0"},
      {[](SettingTexts& t) { t.speed = "30", t.seed = "1x"; }, "<10> needs a whole number of at"},
      {[](SettingTexts& t) { t.speed = "30", t.sentences = "RMC,XYZ"; }, "<8>: unknown sentence"},
      {[](SettingTexts& t) { t.speed = "30", t.start = "24:00:00"; }, "<7> needs a time HH:MM:SS"},
      {[](SettingTexts& t) { t.speed = "30", t.start = "now", t.date = "2026-03-07"; },
       "<7> now takes today's date: give <3> or <7> now, not both"},
      // What RMC's two-digit year and ZDA carry, in both kinds of track.
      {[](SettingTexts& t) { t.date = "1980-01-06"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.date = "2079-12-31"; }, ""},
      {[](SettingTexts& t) { t.date = "1980-01-05"; }, "<3> needs a date as YYYY-MM-DD from 1980"},
      {[](SettingTexts& t) { t.speed = "30", t.date = "2080-01-01"; }, "<3> needs a date as"},
      {[](SettingTexts& t) { t.date = "0000-01-01"; }, "<3> needs a date as YYYY-MM-DD from"},
      {[](SettingTexts& t) { t.speed = "30", t.date = "9999-12-31"; }, "<3> needs a date as"},
      // The least speed RMC shows as moving, in any unit.
      {[](SettingTexts& t) { t.speed = "0.01"; }, ""},
      {[](SettingTexts& t) { t.speed = "0.0099"; }, "<5> needs a speed above 0 in knots"},
      {[](SettingTexts& t) { t.speed = "0.0186km/h"; }, ""},
      {[](SettingTexts& t) { t.speed = "0.0185 km/h"; }, "<5> needs a speed above 0"},
      // The sky and the sentences.
      {[](SettingTexts& t) { t.speed = "30", t.mask = "0"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.mask = "89.9"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.mask = "90"; }, "<11> needs degrees from 0 to"},
      {[](SettingTexts& t) { t.speed = "30", t.mask = "-1"; }, "<11> needs degrees from 0 to"},
      {[](SettingTexts& t) { t.speed = "30", t.systems = "Beidou,GPS,galileo,glonass"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.systems = "gps,GPS"; },
       "<12>: system gps is listed twice"},
      {[](SettingTexts& t) { t.speed = "30", t.systems = "gps,qzss"; },
       "<12>: unknown system 'qzss' (known: gps, glonass, galileo, beidou)"},
      {[](SettingTexts& t) { t.speed = "30", t.systems = ""; }, "<12>: unknown system ''"},
      {[](SettingTexts& t) { t.speed = "30", t.almanac = ""; }, "<13> needs a file"},
      {[](SettingTexts& t) { t.speed = "30", t.almanac = "a.alm", t.systems = "glonass"; },
       "<13> places GPS satellites: give gps in <12>"},
      {[](SettingTexts& t) { t.speed = "30", t.nmea = "4.1"; }, ""},
      {[](SettingTexts& t) { t.speed = "30", t.nmea = "4.10"; }, "<14> needs 2.3 or 4.1, not"},
      {[](SettingTexts& t) {
         t.speed = "30", t.outages = {"60+30", "0+0.5"};
       },
       ""},
      {[](SettingTexts& t) {
         t.speed = "30", t.outages = {"60+30", "60"};
       },
       "<15> needs START+SECONDS, seconds from the first fix and a length above 0 (60+30), not "
       "'60'"},
      {[](SettingTexts& t) { t.speed = "30", t.outages = {"60+0"}; }, "<15> needs START+SECONDS"},
      {[](SettingTexts& t) { t.speed = "30", t.outages = {"-1+5"}; }, "<15> needs START+SECONDS"},
      {[](SettingTexts& t) { t.speed = "30", t.outages = {"1+x"}; }, "<15> needs START+SECONDS"},
      {[](SettingTexts& t) { t.replay = "log", t.start = "now", t.date = "2026-03-07"; }, ""},
      {[](SettingTexts& t) { t.replay = "log", t.speed = "30"; }, "<5> does not apply with <22>"},
      {[](SettingTexts& t) { t.replay = "log", t.extraPoints = true; }, "<4> does not apply with"},
      {[](SettingTexts& t) { t.replay = "log", t.kml = "t.kml"; }, "<27> does not apply with <22>"},
      {[](SettingTexts& t) { t.replay = "log", t.period = "0"; }, "<1> needs seconds from 0.001"},
      {[](SettingTexts& t) { t.replay = "log", t.start = "12:60:00"; }, "<7> needs a time HH:MM"},
      {[](SettingTexts& t) { t.replay = "log", t.csv = true; }, "<28> does not apply with <22>"},
      {[](SettingTexts& t) { t.replay = "log", t.path = "2"; }, "<29> does not apply with <22>"},
      {[](SettingTexts& t) { t.speed = "30", t.path = ""; }, "<29> needs the name of one of"},
      {[](SettingTexts& t) { t.timed = true, t.speed = "30"; }, "<5> does not apply with <30>"},
      {[](SettingTexts& t) { t.timed = true, t.dwell = "2"; }, "<6> does not apply with <30>"},
      {[](SettingTexts& t) { t.replay = "log", t.timed = true; }, "<30> does not apply with <22>"},
  };
  for (const auto& c : cases) {
    SettingTexts texts;
    c.change(texts);
    JobSettings settings;
    const std::string problem = CheckSettings(texts, Named, settings);
    if (c.problem.empty()) {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
    }
  }
}

TEST(Settings, CheckedValuesReachTheJob) {
  SettingTexts texts;
  texts.speed = "20km/h";
  texts.dwell = "3";
  texts.start = "23:59:50";
  texts.date = "2026-12-31";
  texts.udp = "127.0.0.1:10110";
  texts.waitClients = "2";
  texts.loop = true;
  texts.mask = "12.5";
  texts.systems = "galileo,gps";
  texts.almanac = "gps.alm";
  texts.nmea = "4.1";
  texts.outages = {"10+5", "0.5+1e3"};
  texts.serial = {"/dev/ttyUSB0:115200", "COM3"};
  texts.emulator = "5556";
  texts.period = "0.5";
  texts.speedup = "2";
  texts.gpx = "t.gpx";
  texts.decimalComma = true;
  texts.step = "2,5";
  texts.noise = "0,5";
  texts.csv = true;
  texts.path = "A9 north";
  JobSettings settings;
  ASSERT_EQ(CheckSettings(texts, Named, settings), "");
  EXPECT_TRUE(settings.sourceAsCsv);
  EXPECT_EQ(settings.sourcePath, "A9 north");
  ASSERT_EQ(settings.live.serialPorts.size(), 2u);
  EXPECT_EQ(settings.live.serialPorts[0].baud + settings.live.serialPorts[1].baud, 115200u + 4800u);
  EXPECT_TRUE(settings.live.emulator && settings.live.emulatorPort == 5556 &&
              settings.live.emulatorHost == "127.0.0.1");
  EXPECT_EQ(settings.live.emulatorTokenPath, DefaultConsoleTokenPath());
  EXPECT_EQ(settings.live.periodSeconds, 0.5);
  EXPECT_EQ(settings.gpx + settings.kml, "t.gpx");
  ASSERT_TRUE(settings.receiver.has_value());
  EXPECT_DOUBLE_EQ(settings.receiver->motion.speedMetresPerSecond, 20.0 / 3.6);
  EXPECT_EQ(settings.receiver->motion.dwellSeconds, 3.0);
  EXPECT_EQ(settings.receiver->motion.noiseMetres, 0.5);
  EXPECT_EQ(settings.step, "2.5");
  EXPECT_EQ(settings.receiver->startMs, 86390000);
  EXPECT_EQ(settings.receiver->date.day, 31);
  EXPECT_TRUE(settings.live.udp && settings.live.loop && !settings.live.serve);
  EXPECT_EQ(settings.live.udpPort, 10110);
  EXPECT_EQ(settings.live.waitClients, 2u);
  const ReceiverPlan& plan = *settings.receiver;
  EXPECT_EQ(plan.sky.elevationMaskDegrees, 12.5);
  const std::vector<GnssSystem> systems{GnssSystem::kGalileo, GnssSystem::kGps};
  EXPECT_EQ(plan.sky.systems, systems);
  EXPECT_EQ(plan.sentences.systems, systems);
  EXPECT_EQ(plan.sentences.version, NmeaVersion::k41);
  EXPECT_EQ(plan.almanacPath, "gps.alm");
  ASSERT_EQ(plan.outages.size(), 2u);
  EXPECT_EQ(plan.outages[1].startSeconds, 0.5);
  EXPECT_EQ(plan.outages[1].seconds, 1000.0);

  // A replay: its untimed period, where its first time goes, its date; now gives today's date.
  texts = SettingTexts();
  texts.replay = "log.nmea";
  texts.period = "0.25";
  texts.start = "23:59:50";
  texts.keepBad = true;
  settings = JobSettings();
  ASSERT_EQ(CheckSettings(texts, Named, settings), "");
  ASSERT_TRUE(settings.replay && !settings.receiver);
  EXPECT_EQ(settings.replay->untimedPeriodMs, 250);
  EXPECT_EQ(settings.replay->startMsOfDay, 86390000);
  EXPECT_TRUE(settings.replay->keepBad && !settings.replay->date);
  texts.start = "now";
  ASSERT_EQ(CheckSettings(texts, Named, settings), "");
  EXPECT_TRUE(settings.replay->date.has_value());
}

}  // namespace
}  // namespace wayloom::test
