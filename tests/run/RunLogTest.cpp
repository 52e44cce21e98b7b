#include <gtest/gtest.h>

#include <vector>

#include "run/RunLog.h"
#include "run/StubOptions.h"

namespace qf::run {
namespace {

TEST(StubArguments, SwitchesMatchAnywhereInAnyCaseAndTheRestIsIgnored) {
  struct Row {
    std::vector<std::u16string> args;
    bool silent;
    std::optional<std::u16string> log;
  };
  const Row rows[] = {
      {{}, false, std::nullopt},
      {{u"/S"}, true, std::nullopt},
      {{u"x", u"/s", u"-y"}, true, std::nullopt},
      {{u"/SILENT", u"S", u"/S=1"}, false, std::nullopt},
      {{u"/log=C:\\a b\\run.log"}, false, u"C:\\a b\\run.log"},
      {{u"/Log=\"q.log\"", u"/S"}, true, u"q.log"},
      {{u"/LOG=first", u"/LOG=second"}, false, u"second"},
      {{u"/LOG="}, false, std::nullopt},
      {{u"/LOGFILE=x", u"LOG=x"}, false, std::nullopt},
  };
  for (const Row& row : rows) {
    StubOptions options;
    for (const auto& arg : row.args) options.Apply(arg);
    EXPECT_EQ(options.silent, row.silent) << row.args.size();
    EXPECT_EQ(options.log, row.log) << row.args.size();
  }
}

struct Recorder : LogSink {
  std::vector<std::u16string> lines;
  void WriteLine(std::u16string_view line) override { lines.emplace_back(line); }
};

TEST(RunLogLines, ARefusedRunNamesTheCheckThatFailedAndItsValues) {
  Recorder sink;
  const RunLog log(&sink);
  log.Write({u"settings: checks on: cpu=", u"1", u" bios=", u"0", u" baseboard=", u"1"});
  log.Check(u"cpu", u"Processor", u"GenuineIntel", u"vendor", u"GenuineIntel", 0, true);
  log.Check(u"baseboard", u"Manufacturer", u"Intel Corporation;Foo", u"Win32_BaseBoard", u"intel corporation", 0, false);
  log.Check(u"bios", u"Manufacturer", u"Tavix", u"Win32_BIOS", u"", -2147217392, false);
  log.Write({u"exit code ", 1101u, u", entries ", -1});
  const std::vector<std::u16string> expected = {
      u"settings: checks on: cpu=1 bios=0 baseboard=1",
      u"[cpu] Processor: accepted \"GenuineIntel\", this machine \"GenuineIntel\"; the processor's vendor; passed",
      u"[baseboard] Manufacturer: accepted \"Intel Corporation;Foo\", this machine \"intel corporation\" "
      u"(differs in letter case only); Win32_BaseBoard query result 0; refused",
      u"[bios] Manufacturer: accepted \"Tavix\", this machine \"\"; Win32_BIOS query result -2147217392; refused",
      u"exit code 1101, entries -1",
  };
  EXPECT_EQ(sink.lines, expected);
}

TEST(RunLogLines, WithoutASinkNothingIsWritten) {
  const RunLog log;
  EXPECT_FALSE(log.Enabled());
  log.Write({u"x", 1});
  log.Check(u"a", u"b", u"c", u"d", u"e", 0, false);
}

}  // namespace
}  // namespace qf::run
