#include "manifest_check.h"

#include <vector>

#include "manifest.h"
#include "system.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Family;
using native_messaging::HostManifest;
using native_messaging::ManifestProblem;

std::string joined(const std::vector<std::string>& texts) {
  if (texts.empty()) return "none";
  std::string text = texts.front();
  for (std::size_t i = 1; i < texts.size(); ++i) text += ", " + texts[i];
  return text;
}

// What the manifest holds that the doctor looks at beyond its own rules.
std::vector<ManifestProblem> host_problems(const HostManifest& manifest,
                                           const std::string& program,
                                           Family family) {
  std::vector<ManifestProblem> problems;
  // Firefox's own rules already refuse an empty list.
  if (family == Family::Chromium && manifest.allowed_origins.empty()) {
    problems.push_back(
        {"\"allowed_origins\" is empty: no extension may start "
         "the host",
         "install again with the extension's ID"});
  }
  if (!manifest.path.empty()) {
    for (ManifestProblem& problem : host_start_problems(program, family)) {
      problems.push_back(std::move(problem));
    }
  }
  return problems;
}

std::string problem_line(const ManifestProblem& problem) {
  std::string line = "problem: " + problem.what;
  if (!problem.browser_refuses) line += " (not every reader skips it)";
  return line;
}

native_messaging::ManifestCheck read_as(Family family, std::string_view bytes) {
  if (family == Family::Firefox) {
    return native_messaging::check_firefox_manifest(
        bytes, native_messaging::HOST_NAME, THIS_SYSTEM);
  }
  return native_messaging::check_manifest(bytes, native_messaging::HOST_NAME,
                                          THIS_SYSTEM);
}

std::string allowed_line(Family family, const HostManifest& manifest) {
  if (family == Family::Firefox) {
    return "allowed extensions: " + joined(manifest.allowed_extensions);
  }
  return "allowed origins: " + joined(manifest.allowed_origins);
}

HostToStart host_to_start(Family family, const HostManifest& manifest,
                          std::string program,
                          const std::string& manifest_path) {
  if (family == Family::Firefox) {
    return {std::move(program),
            family,
            {manifest_path, manifest.allowed_extensions.front()}};
  }
  return {std::move(program), family, {manifest.allowed_origins.front()}};
}

}  // namespace

ManifestFinding check_winning_manifest(Platform& os,
                                       const native_messaging::Browser& browser,
                                       const std::string& manifest_path) {
  ManifestFinding finding;
  Check& check = finding.check;
  check = make_check("manifest:" + std::string(browser.name),
                     "Manifest for " + std::string(browser.title),
                     "manifest: " + manifest_path, &browser);
  auto bytes = read_file_bytes(os, manifest_path);
  if (!bytes) {
    check.add_line("problem: " + bytes.error().what);
    check.fix = bytes.error().fix;
    return finding;
  }
  native_messaging::ManifestCheck read = read_as(browser.family, bytes->view());
  std::vector<ManifestProblem> problems = std::move(read.problems);
  std::string program;
  if (read.manifest) {
    program = resolve_host_path(manifest_path, read.manifest->path);
    check.add_line("host: " + program);
    if (program != read.manifest->path) {
      check.detail += " (written \"" + read.manifest->path + "\")";
    }
    check.add_line(allowed_line(browser.family, *read.manifest));
    for (ManifestProblem& problem :
         host_problems(*read.manifest, program, browser.family)) {
      problems.push_back(std::move(problem));
    }
  }
  for (const ManifestProblem& problem : problems) {
    check.add_line(problem_line(problem));
  }
  if (!problems.empty() || !read.manifest) {
    check.fix = problems.empty() ? "install again" : problems.front().fix;
    return finding;
  }
  check.ok = true;
  finding.allowed_extensions = read.manifest->allowed_extensions;
  finding.host = host_to_start(browser.family, *read.manifest,
                               std::move(program), manifest_path);
  return finding;
}

}  // namespace tavorin::doctor
