#include <gtest/gtest.h>

#include "history/history_time.h"

#include "send/send_options.h"

namespace quinterra {
namespace {

TParsedOptions Parse(std::vector<std::string> arguments) { return ParseSendOptions(arguments); }

TEST(SendOptions, ReadsEachCommandWithItsOptions) {
  TSendOptions send = *Parse({"--jackpots", "--log=envio.log", "--no-verify", "sorteo.ltr"}).Options;
  EXPECT_EQ(send.Command, TSendCommand::Send);
  EXPECT_EQ(send.Document, "sorteo.ltr");
  EXPECT_EQ(send.Mode, TPanelMode::Jackpots);
  EXPECT_EQ(send.Verify, false);
  EXPECT_EQ(send.LogPath, "envio.log");

  TSendOptions check = *Parse({"--check", "--folder", "/srv/q", "--json", "--results"}).Options;
  EXPECT_EQ(check.Command, TSendCommand::Check);
  EXPECT_EQ(check.Folder, "/srv/q");
  EXPECT_TRUE(check.Json);
  EXPECT_EQ(check.Mode, TPanelMode::Results);
  EXPECT_EQ(check.Verify, std::nullopt) << "config.ini decides";

  EXPECT_EQ(Parse({"--results", "--jackpots", "a.ltr"}).Options->Mode, TPanelMode::Both);
  EXPECT_EQ(Parse({"--", "--raro.ltr"}).Options->Document, "--raro.ltr");
  // Names are bytes: one in Windows-1252 reaches the file system unchanged.
  TSendOptions latin = *Parse({"--folder=/srv/a\xf1o", "sorteo\xe9.ltr"}).Options;
  EXPECT_EQ(latin.Folder, "/srv/a\xf1o");
  EXPECT_EQ(latin.Document, "sorteo\xe9.ltr");
  EXPECT_EQ(Parse({"--no-verify", "a.ltr", "--verify"}).Options->Verify, true) << "the last counts";
  EXPECT_EQ(Parse({"--read", "a.ltr"}).Options->Command, TSendCommand::Read);
  EXPECT_EQ(Parse({"--bad", "--help"}).Error, "opción desconocida: --bad");
  EXPECT_EQ(Parse({"a.ltr", "--log"}).Error, "falta el valor de --log");

  TSendOptions publish = *Parse({"--publish", "a.ltr", "--network=/red", "--wait", "30"}).Options;
  EXPECT_EQ(publish.Command, TSendCommand::Publish);
  EXPECT_EQ(publish.Network, "/red");
  EXPECT_EQ(publish.WaitSeconds, 30);
  EXPECT_EQ(Parse({"--network-state", "--network", "/red", "--json"}).Options->Command,
            TSendCommand::NetworkState);
  EXPECT_EQ(Parse({"--network-state", "--network", "/red", "--wait", "120"}).Options->WaitSeconds, 120);
  const TSendOptions report =
      *Parse({"--network-report", "--network", "/red", "--from", "2026-12-01", "--to", "2026-12-08", "--pdf",
              "informe.pdf"})
           .Options;
  EXPECT_EQ(report.Command, TSendCommand::NetworkReport);
  EXPECT_EQ(report.PdfPath, "informe.pdf");
  EXPECT_EQ(report.From, UtcText(*ParseLocalMoment("2026-12-01")));
  EXPECT_EQ(report.To, UtcText(*ParseLocalMoment("2026-12-08", true))) << "the whole last day";
}

TEST(SendOptions, RefusesWhatCannotBeMeant) {
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{},
                                             {"--read"},
                                             {"a.ltr", "b.ltr"},
                                             {"--check", "a.ltr"},
                                             {"--check", "--list"},
                                             {"--list", "--results"},
                                             {"--check", "--verify"},
                                             {"a.ltr", "--log"},
                                             {"a.ltr", "--folder="},
                                             {"a.ltr", "--check=1"},
                                             {"a.ltr", "-x"},
                                             {"--publish", "a.ltr"},
                                             {"--network-state"},
                                             {"--publish", "a.ltr", "--network", "r", "--wait", "0"},
                                             {"a.ltr", "--network", "r"},
                                             {"--network-report", "--network", "r"},
                                             {"--network-report", "--network", "r", "--csv", "a", "--pdf", "b"},
                                             {"--network-report", "--csv", "a"},
                                             {"--network-report", "--network", "r", "--csv", "a", "--json"},
                                             {"--network-report", "--network", "r", "--csv", "a", "--results"},
                                             {"--network-report", "--network", "r", "--csv", "a", "--from",
                                              "2026-12-08", "--to", "2026-12-01"},
                                             {"--history", "--csv", "a"}}) {
    const TParsedOptions parsed = Parse(wrong);
    EXPECT_FALSE(parsed.Options) << ::testing::PrintToString(wrong);
    EXPECT_FALSE(parsed.Error.empty());
  }
}

}  // namespace
}  // namespace quinterra
