// The settings checks both front ends share: every text a person may type, taken or refused with a
// message that names the setting as the front end names it.
#include "job/settings.h"
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
      {[](SettingTexts& t) { t.serve = "[::1]10110"; }, "<11> needs [HOST:]PORT"},
      {[](SettingTexts& t) { t.udp = "127.0.0.1:0"; }, "<12> needs HOST:PORT with a port"},
      {[](SettingTexts& t) { t.pty = ""; }, "<13> needs a path for the link"},
      {[](SettingTexts& t) { t.speedup = "-1"; }, "<14> needs a number above 0"},
      {[](SettingTexts& t) { t.waitClients = "64"; }, ""},
      {[](SettingTexts& t) { t.waitClients = "65"; }, "<15> needs a whole number from 0 to 64"},
      {[](SettingTexts& t) { t.clientTimeout = "0"; }, "<16> needs a number of seconds above 0"},
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
  texts.decimalComma = true;
  texts.step = "2,5";
  texts.noise = "0,5";
  JobSettings settings;
  ASSERT_EQ(CheckSettings(texts, Named, settings), "");
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
}

}  // namespace
}  // namespace wayloom::test
