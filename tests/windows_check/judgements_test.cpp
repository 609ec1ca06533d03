// The rules by which tavorin_windows_check turns what it measured on a
// Windows into ✓ and ✗: the figures people send back are read against
// these, so each edge is pinned here (the measuring itself runs under Wine,
// in test_windows_check_wine.py).
#include "judgements.h"

#include <gtest/gtest.h>

namespace {

namespace wc = tavorin::windows_check;
namespace nm = tavorin::native_messaging;
using tavorin::doctor::Check;

TEST(WindowsCheckFigures, MedianOfOddEvenAndNoValues) {
  EXPECT_EQ(wc::median({5, 1, 3}), 3);
  EXPECT_EQ(wc::median({4, 1, 3, 2}), 2.5);
  EXPECT_EQ(wc::median({}), 0);
}

TEST(WindowsCheckFigures, LogCostRatiosAreToTheLastRow) {
  const wc::LogCostRow rows[] = {
      {"a new hidden console", {0.5, 4.0, 30.0}},
      {"NUL", {0.25, 1.0, 10.0}},
  };
  std::string table = wc::log_cost_table(rows);
  EXPECT_NE(table.find("ratio to standard error NUL:"), std::string::npos);
  EXPECT_NE(table.find("2.00      4.00      3.00"), std::string::npos) << table;
}

TEST(WindowsCheckRefusedConnects, PassesOnlyWhenRefusalsAreQuick) {
  wc::RefusedConnects quick{2034, 0.8, "", 4100, ""};
  EXPECT_TRUE(wc::judge_refused_connects(quick).ok);

  wc::RefusedConnects retried = quick;
  retried.with_request_ms = 2010;  // the request made no difference
  EXPECT_FALSE(wc::judge_refused_connects(retried).ok);

  wc::RefusedConnects slow_host = quick;
  slow_host.host_all_failed_ms = 52000;
  Check check = wc::judge_refused_connects(slow_host);
  EXPECT_FALSE(check.ok);
  EXPECT_FALSE(check.fix.empty());

  wc::RefusedConnects refused_request = quick;
  refused_request.with_request_ms.reset();
  refused_request.request_error = "WSAEOPNOTSUPP";
  EXPECT_FALSE(wc::judge_refused_connects(refused_request).ok);
}

TEST(WindowsCheckRefusedConnects, BusyPortsLeaveOnlyTheHostsFigureOut) {
  wc::RefusedConnects busy{2034, 0.8, "", std::nullopt,
                           "something answers on 7878"};
  Check check = wc::judge_refused_connects(busy);
  EXPECT_TRUE(check.ok);
  EXPECT_NE(check.detail.find("not measured: something answers on 7878"),
            std::string::npos);
  busy.host_problem.clear();  // missing with no reason given
  EXPECT_FALSE(wc::judge_refused_connects(busy).ok);
}

TEST(WindowsCheckRegistryViews, EachBrowserMustReadAViewThatSeesTheKey) {
  const std::string key = "SOFTWARE\\Vendor\\NativeMessagingHosts\\leaf";
  // Firefox reads HKCU in the 64-bit view only; Chrome reads both views.
  const nm::Browser& chrome = nm::BROWSERS[0];
  const nm::Browser& firefox = nm::BROWSERS[4];
  const wc::BrowserPlaces browsers[] = {
      {&chrome, {{false, true, key}, {false, false, key}}},
      {&firefox, {{false, false, key}}},
  };
  const wc::ViewSight shared[] = {{false, key, false, true, true}};
  EXPECT_TRUE(wc::judge_registry_views(shared, browsers).ok);

  // A 64-bit write that only the 32-bit view saw would lose Firefox.
  const wc::ViewSight odd[] = {{false, key, false, true, false}};
  Check check = wc::judge_registry_views(odd, browsers);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.detail.find("Firefox: nothing; not found in HKCU"),
            std::string::npos)
      << check.detail;
  EXPECT_NE(check.detail.find("Google Chrome: found in HKCU"),
            std::string::npos);
}

TEST(WindowsCheckDefaultTerminal, WhatWasSeenDecidesAndDisagreementIsSaid) {
  Check doctor_says_window;
  doctor_says_window.detail = "DelegationConsole: Windows Terminal";
  doctor_says_window.fix = "set the default terminal";
  const wc::SeenWindow terminal[] = {
      {"CASCADIA_HOSTING_WINDOW_CLASS", "WindowsTerminal.exe"}};
  Check shown = wc::judge_default_terminal(doctor_says_window, terminal);
  EXPECT_FALSE(shown.ok);
  EXPECT_EQ(shown.fix, "set the default terminal");
  EXPECT_EQ(shown.detail.find("disagrees"), std::string::npos);

  Check hidden = wc::judge_default_terminal(doctor_says_window, {});
  EXPECT_TRUE(hidden.ok);
  EXPECT_NE(hidden.detail.find("a window should show: it disagrees"),
            std::string::npos);
}

TEST(WindowsCheckMsi, RestartRequiredIsSuccessAndOnlyScheduledFilesMayStay) {
  wc::MsiRun run;
  run.steps = {{"install", 0}, {"upgrade", 3010}, {"uninstall", 3010}};
  run.removed_at_restart = {"C:\\Tavorin\\tavorin_shim.exe"};
  EXPECT_TRUE(wc::judge_msi(run).ok);

  wc::MsiRun left = run;
  left.remains = {"HKLM\\SOFTWARE\\tavorin\\Tavorin browser host"};
  EXPECT_FALSE(wc::judge_msi(left).ok);

  wc::MsiRun failed = run;
  failed.steps[1].exit_code = 1603;
  EXPECT_FALSE(wc::judge_msi(failed).ok);

  wc::MsiRun not_started = run;
  not_started.steps[0].exit_code.reset();
  EXPECT_FALSE(wc::judge_msi(not_started).ok);

  wc::MsiRun closed_host = run;
  closed_host.hosts_kept_relaying = false;
  EXPECT_FALSE(wc::judge_msi(closed_host).ok);
}

TEST(WindowsCheckSummary, UnmeasuredChecksCountAsOkButAreCountedApart) {
  Check passed;
  passed.ok = true;
  Check unmeasured;
  wc::mark_not_measured(unmeasured, "not measurable under Wine: why");
  EXPECT_TRUE(unmeasured.ok);
  EXPECT_EQ(unmeasured.detail, "not measurable under Wine: why");
  tavorin::doctor::Report report = wc::summarize({passed, unmeasured});
  EXPECT_TRUE(report.ok);
  EXPECT_EQ(report.verdict, "1 passed, 0 failed, 1 not measured here");
  Check failed;
  report = wc::summarize({passed, failed, unmeasured});
  EXPECT_FALSE(report.ok);
  EXPECT_EQ(report.verdict, "1 passed, 1 failed, 1 not measured here");
}

}  // namespace
