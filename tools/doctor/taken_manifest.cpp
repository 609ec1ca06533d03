#include "taken_manifest.h"

#include <vector>

namespace tavorin::doctor {

namespace {

// The first line of a check's findings that names a problem.
std::string first_problem(const Check& check) {
  constexpr std::string_view PROBLEM_LINE = "\nproblem: ";
  std::size_t at = check.detail.find(PROBLEM_LINE);
  if (at == std::string::npos) return check.fix;
  std::size_t start = at + PROBLEM_LINE.size();
  return check.detail.substr(start, check.detail.find('\n', start) - start);
}

}  // namespace

ManifestFinding ManifestFindings::check(
    Platform& os, const native_messaging::Browser& browser,
    const std::string& path) {
  auto key = std::make_pair(path, browser.family);
  auto seen = findings_.find(key);
  if (seen == findings_.end()) {
    return findings_.emplace(key, check_winning_manifest(os, browser, path))
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

}  // namespace tavorin::doctor
