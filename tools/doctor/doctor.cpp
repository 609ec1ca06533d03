#include "doctor.h"

#include <algorithm>
#include <map>
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

namespace tavorin::doctor {

namespace {

using native_messaging::Browser;
using native_messaging::Family;

void append(std::vector<Check>& checks, std::vector<Check> more) {
  for (Check& check : more) checks.push_back(std::move(check));
}

// Browsers that share a manifest (as every browser does on Windows) get
// the finding once, and a pointer to it after that.
class ManifestFindings {
 public:
  ManifestFinding check(Platform& os, const Browser& browser,
                        const std::string& path) {
    auto seen = findings_.find(path);
    if (seen == findings_.end()) {
      return findings_.emplace(path, check_winning_manifest(os, browser, path))
          .first->second;
    }
    // The stored finding is the first browser's.
    ManifestFinding finding = seen->second;
    finding.check.id = "manifest:" + std::string(browser.name);
    finding.check.title = "Manifest for " + std::string(browser.title);
    finding.check.detail = "manifest: " + path + " (the same file as for " +
                           std::string(seen->second.check.browser->title) +
                           ", above)";
    finding.check.browser = &browser;
    return finding;
  }

 private:
  std::map<std::string, ManifestFinding> findings_;
};

// The first line of a check's findings that names a problem.
std::string first_problem(const Check& check) {
  constexpr std::string_view PROBLEM_LINE = "\nproblem: ";
  std::size_t at = check.detail.find(PROBLEM_LINE);
  if (at == std::string::npos) return check.fix;
  std::size_t start = at + PROBLEM_LINE.size();
  return check.detail.substr(start, check.detail.find('\n', start) - start);
}

// The manifest the browser takes, as found: the Chromium family's winner;
// for Firefox the first valid one, naming those it passes over, or the
// first it tries when it takes none. Nothing when none is registered.
std::optional<ManifestFinding> taken_manifest(
    Platform& os, ManifestFindings& manifests,
    const BrowserRegistration& registration) {
  std::optional<ManifestFinding> first_refused;
  std::vector<std::string> refusals;
  for (const RegistrationPlace* place : registration.manifests_to_read()) {
    ManifestFinding finding =
        manifests.check(os, *registration.browser, *place->manifest_path);
    if (finding.host) {
      for (const std::string& refusal : refusals) {
        finding.check.add_line("passed over, as Firefox refuses it: " +
                               refusal);
      }
      return finding;
    }
    refusals.push_back(*place->manifest_path + ": " +
                       first_problem(finding.check));
    if (!first_refused) first_refused = std::move(finding);
  }
  for (std::size_t i = 1; i < refusals.size(); ++i) {
    first_refused->check.add_line("refused as well: " + refusals[i]);
  }
  return first_refused;
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
