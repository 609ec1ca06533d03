#include "doctor.h"

#include <algorithm>
#include <optional>

#include "console.h"
#include "console_window.h"
#include "desktop_app.h"
#include "firefox_policies.h"
#include "live_launch.h"
#include "manifest_check.h"
#include "options.h"
#include "policies.h"
#include "registration.h"
#include "send.h"
#include "taken_manifest.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Browser;
using native_messaging::Family;

void append(std::vector<Check>& checks, std::vector<Check> more) {
  for (Check& check : more) checks.push_back(std::move(check));
}

bool blocked_by_policy(const std::vector<Check>& checks,
                       const Browser* browser) {
  return std::ranges::any_of(checks, [&](const Check& check) {
    return check.browser == browser && !check.ok &&
           check.id.starts_with("policy:");
  });
}

bool passes_for(const std::vector<Check>& checks, const Browser* browser) {
  return std::ranges::all_of(checks, [&](const Check& check) {
    return check.browser != browser || check.ok;
  });
}

std::vector<const Browser*> usable_browsers(
    const std::vector<Check>& checks,
    std::span<const Browser* const> browsers) {
  std::vector<const Browser*> usable;
  for (const Browser* browser : browsers) {
    bool has_manifest = std::ranges::any_of(checks, [&](const Check& check) {
      return check.browser == browser && check.id.starts_with("manifest:");
    });
    if (has_manifest && passes_for(checks, browser)) usable.push_back(browser);
  }
  return usable;
}

bool only_a_window_shows(const Report& report) {
  return std::ranges::all_of(report.checks, [](const Check& check) {
    return check.ok || check.id == CONSOLE_WINDOW_CHECK;
  });
}

std::string verdict(const Report& report,
                    const std::vector<const Browser*>& usable) {
  auto failed = std::ranges::count_if(report.checks,
                                      [](const Check& c) { return !c.ok; });
  std::string names;
  for (const Browser* browser : usable) {
    names += (names.empty() ? "" : ", ") + std::string(browser->title);
  }
  if (!report.ok && !usable.empty() && only_a_window_shows(report)) {
    return "the extension can reach the app through " + names +
           ", but a console window shows each time it connects: see the fix "
           "above";
  }
  if (!report.ok) {
    return std::to_string(failed) + " of " +
           std::to_string(report.checks.size()) +
           " checks failed: the extension cannot reach the app that way; "
           "each fix above says what to do";
  }
  std::string text = "the extension can reach the app through " + names;
  if (failed > 0) text += " (the checks marked failed concern other browsers)";
  return text;
}

}  // namespace

Report examine(Platform& os, std::span<const Browser* const> browsers) {
  Report report;
  std::vector<BrowserRegistration> registrations;
  for (const Browser* browser : browsers) {
    registrations.push_back(find_registration(*browser));
    report.checks.push_back(describe_registration(registrations.back()));
  }
  append(report.checks, check_policies(registrations));
  ManifestFindings manifests;
  std::optional<HostToStart> host;
  for (const BrowserRegistration& registration : registrations) {
    std::optional<ManifestFinding> taken =
        taken_manifest(os, manifests, registration);
    if (!taken) continue;
    ManifestFinding& finding = *taken;
    report.checks.push_back(finding.check);
    if (registration.browser->family == Family::Firefox) {
      report.checks.push_back(
          check_firefox_policies(os, finding.allowed_extensions));
    }
    // The first browser that would start a host names the one to try.
    if (!host && finding.host &&
        !blocked_by_policy(report.checks, registration.browser)) {
      host = finding.host;
    }
  }
  bool broken = std::ranges::any_of(
      registrations, [](const auto& r) { return r.first_broken() != nullptr; });
  append(report.checks, check_desktop_app(os));
  report.checks.push_back(check_live_launch(host));
  if (std::optional<Check> window = check_console_window(browsers)) {
    report.checks.push_back(*std::move(window));
  }
  std::vector<const Browser*> usable = usable_browsers(report.checks, browsers);
  report.ok = !usable.empty() && !broken && passes_for(report.checks, nullptr);
  report.verdict = verdict(report, usable);
  return report;
}

std::optional<RegisteredHost> find_registered_host(
    Platform& os, std::span<const Browser* const> browsers) {
  ManifestFindings manifests;
  for (const Browser* browser : browsers) {
    std::optional<ManifestFinding> taken =
        taken_manifest(os, manifests, find_registration(*browser));
    if (taken && taken->host) return RegisteredHost{browser, *taken->host};
  }
  return std::nullopt;
}

int run_doctor(Platform& os, std::span<const std::string> arguments) {
  std::expected<Options, std::string> options = parse_options(arguments);
  if (!options) {
    write_error("tavorin_doctor: " + options.error() +
                "\nrun tavorin_doctor --help for the options\n");
    return 2;
  }
  if (options->help) {
    write_output(help_text());
    return 0;
  }
  if (options->send) return send_messages(os, *options);
  Report report = examine(os, options->browsers);
  write_output(options->json ? render_json(report) : render_text(report));
  return report.ok ? 0 : 1;
}

}  // namespace tavorin::doctor
