// The doctor's own rules: its JSON strings (what every program reading
// --json relies on), its verdict on a live launch's log, its one reader of
// files at the edges of its limits, the forms of extension IDs, what
// Firefox makes of a manifest and of its policies, and a user's own
// registration hiding the machine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "cmd_line.h"
#include "console_window.h"
#include "extension_ids.h"
#include "fake_platform.h"
#include "firefox_policies.h"
#include "json.h"
#include "json_text.h"
#include "launch_verdict.h"
#include "manifest.h"
#include "shadowing.h"
#include "system.h"
#include "taken_manifest.h"

namespace {

using tavorin::doctor::cmd_line_problems;
using tavorin::doctor::CmdEnvironment;
using tavorin::doctor::expanded_sequences;
using tavorin::doctor::HostRun;
using tavorin::doctor::json_string;
using tavorin::doctor::judge_live_launch;
using tavorin::doctor::MAX_FILE_BYTES;
using tavorin::doctor::read_file_bytes;
using tavorin::testing::FakePlatform;

TEST(DoctorJson, EveryTextReadsBackAsItWas) {
  const std::string texts[] = {
      "plain",
      "\"quoted\" and back\\slash",
      "C:\\Program Files\\Tavorin\\com.tavorin.desktop.json",
      "two\nlines\r\nand\ttab",
      std::string("nul \0 inside", 12),
      "\x01\x1f\x7f",
      "J\xC3\xBCrgen \xE4\xB8\x96\xE7\x95\x8C \xF0\x9F\x94\xA7",
  };
  for (const std::string& text : texts) {
    auto parsed = tavorin::native_messaging::parse_json(json_string(text));
    ASSERT_TRUE(parsed.has_value()) << json_string(text);
    EXPECT_EQ(parsed->text, text);
  }
}

TEST(DoctorJson, LettersBeyondAsciiStayUtf8AndIllFormedBytesBecomeU_FFFD) {
  EXPECT_EQ(json_string("J\xC3\xBCrgen"), "\"J\xC3\xBCrgen\"");
  // A Linux path may hold bytes that are no UTF-8; the output stays JSON.
  EXPECT_EQ(json_string("/home/j\xFCrgen/x"), "\"/home/j\xEF\xBF\xBDrgen/x\"");
}

// The browser's cmd.exe line: only a set %NAME%, and "!" where delayed
// expansion is on, break a quoted path; & ( ) ^ spaces and unset names do
// not.
TEST(CmdLine, OnlyWhatCmdStillReadsInsideQuotesIsAProblem) {
  CmdEnvironment environment{
      [](std::string_view name) { return name == "OS" || name == "PATH"; },
      false};
  const std::string fine =
      "C:\\Smith & Co (x86)\\^ 100% %UNSET% ! x\\tavorin_shim.exe";
  EXPECT_TRUE(cmd_line_problems(fine, environment).empty());
  using Found = std::vector<std::string>;
  EXPECT_EQ(expanded_sequences("C:\\a %OS% b\\x.exe", environment),
            Found{"%OS%"});
  EXPECT_EQ(expanded_sequences("C:\\50%OS%\\%PATH:~0,2%\\x", environment),
            (Found{"%OS%", "%PATH:~0,2%"}));
  // An unset name is left as written and the scan reads on after it.
  EXPECT_EQ(expanded_sequences("C:\\%UNSET%OS%\\x", environment), Found{});
  EXPECT_EQ(expanded_sequences("C:\\%%OS%", environment), Found{});
  auto problems = cmd_line_problems("C:\\%OS%\\x.exe", environment);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].what.find("holds %OS%"), std::string::npos);
  EXPECT_NE(problems[0].fix.find("NativeHostsExecutablesLaunchDirectly"),
            std::string::npos);

  environment.delayed_expansion = true;
  ASSERT_EQ(cmd_line_problems(fine, environment).size(), 1u);
  EXPECT_NE(cmd_line_problems(fine, environment)[0].what.find("\"!\""),
            std::string::npos);
}

// No terminal takes a console that a browser starts hidden, so the check
// informs and never fails, whatever the terminal, build or launch; it names
// the terminal that would host a visible console and each browser's launch.
TEST(ConsoleWindow, InformsAndNeverFailsForHowABrowserStartsTheHost) {
  using tavorin::doctor::BrowserLaunch;
  using tavorin::doctor::TerminalChoice;
  const auto* chrome = tavorin::native_messaging::find_browser("chrome");
  const std::string terminal = "{2EACA947-7F5F-4CFA-BA87-8F7FBEEFBE69}";
  const std::string console_host = "{b23d10c0-e52e-411e-9d5b-c09fdf709c7d}";
  const std::string decide = "{00000000-0000-0000-0000-000000000000}";
  struct Case {
    TerminalChoice choice;
    bool through_cmd;
    const char* host;
  };
  const Case cases[] = {
      {{terminal, 22631}, true, "hosted by Windows Terminal"},
      {{std::nullopt, 22631}, true, "Windows Terminal (\"Let Windows decide\""},
      {{decide, 22000}, true, "the Windows Console Host"},
      {{terminal, 19045}, true, "the Windows Console Host"},
      {{console_host, 22631}, true, "the Windows Console Host"},
      {{"{11111111-2222-3333-4444-555555555555}", 26100},
       true,
       "the terminal {11111111-2222-3333-4444-555555555555}"},
      {{terminal, 22631}, false, "hosted by Windows Terminal"},
  };
  for (const Case& c : cases) {
    BrowserLaunch launch{chrome, c.through_cmd, "policy"};
    auto check = tavorin::doctor::judge_console_window(c.choice, {&launch, 1});
    EXPECT_TRUE(check.ok) << check.detail;
    EXPECT_TRUE(check.fix.empty()) << check.fix;
    EXPECT_NE(check.detail.find(c.host), std::string::npos) << check.detail;
    EXPECT_NE(check.detail.find(c.through_cmd ? "through cmd.exe, hidden"
                                              : "starts the host directly"),
              std::string::npos)
        << check.detail;
    EXPECT_NE(check.detail.find("tavorin_windows_check.exe"),
              std::string::npos);
  }
}

constexpr const char* PREFIX = "\xF0\x9F\x94\xA7 shim: ";

HostRun run_with_log(const std::string& log) {
  HostRun run;
  run.command = "/opt/tavorin/tavorin_shim chrome-extension://x/";
  run.ending = "exit status 0";
  run.log = log;
  return run;
}

std::string log_of(std::initializer_list<const char*> lines,
                   const char* end = "\n") {
  std::string log;
  for (const char* line : lines) log += std::string(PREFIX) + line + end;
  return log;
}

TEST(LaunchVerdict, PassesOnTheEndOfAnEmptySessionWhateverTheLineEnds) {
  for (const char* end : {"\n", "\r\n"}) {
    auto check = judge_live_launch(
        run_with_log(log_of({"Proxy mode active - ready to relay messages",
                             "Chrome disconnected (EOF) after 0 messages",
                             "Shutting down gracefully"},
                            end)));
    EXPECT_TRUE(check.ok) << check.detail;
    EXPECT_EQ(check.fix, "");
  }
}

TEST(LaunchVerdict, FailsWithTheFixTheLogPointsTo) {
  struct Case {
    HostRun run;
    const char* fix;
  };
  HostRun stuck =
      run_with_log(log_of({"Chrome disconnected (EOF) after 0 messages"}));
  stuck.timed_out = true;
  HostRun chatty =
      run_with_log(log_of({"Chrome disconnected (EOF) after 0 messages"}));
  chatty.output_bytes = 5;
  const Case cases[] = {
      {run_with_log(log_of({"No lock file found - app not running"})),
       "start the Tavorin Desktop App"},
      {run_with_log(log_of({"All connection attempts failed"})),
       "Desktop app reachable"},
      {run_with_log(""), "wrote no log"},
      {stuck, "did not end"},
      {chatty, "wrote to standard output"},
      // Only the host's own whole line counts, not the words in another.
      {run_with_log("Chrome disconnected (EOF) after 0 messages\n"),
       "Troubleshooting"},
      {run_with_log(log_of({"Chrome disconnected (EOF) after 3 messages"})),
       "Troubleshooting"},
  };
  for (const Case& c : cases) {
    auto check = judge_live_launch(c.run);
    EXPECT_FALSE(check.ok) << check.detail;
    EXPECT_NE(check.fix.find(c.fix), std::string::npos) << check.fix;
  }
}

TEST(LaunchVerdict, AHostThatCannotStartSaysWhy) {
  HostRun run = run_with_log("");
  run.start_error = "cannot start it: Permission denied";
  auto check = judge_live_launch(run);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.detail.find("Permission denied"), std::string::npos);
  EXPECT_NE(check.detail.find(run.command), std::string::npos);
}

// A file of the test's own, removed after it.
class DoctorFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tavorin-doctor-XXXXXX")
            .string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    path_ = (folder_ / "com.tavorin.desktop.json").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void write(std::size_t size) {
    std::ofstream(path_, std::ios::binary) << std::string(size, 'x');
  }

  std::filesystem::path folder_;
  std::string path_;
  FakePlatform os_;
};

TEST_F(DoctorFiles, AFileOfTheLimitIsReadWholeAndOneByteMoreIsAFinding) {
  write(MAX_FILE_BYTES);
  {
    auto bytes = read_file_bytes(os_, path_);
    ASSERT_TRUE(bytes.has_value()) << bytes.error().what;
    EXPECT_EQ(bytes->view(), std::string(MAX_FILE_BYTES, 'x'));
  }
  EXPECT_TRUE(os_.live_blocks.empty()) << "the memory goes back";

  write(MAX_FILE_BYTES + 1);
  auto refused = read_file_bytes(os_, path_);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().what.rfind(path_ + " is 1048577 bytes, ", 0), 0)
      << refused.error().what;
  EXPECT_EQ(refused.error().fix, "delete it and reinstall");
}

TEST_F(DoctorFiles, MemoryThePlatformCannotGiveIsAFindingNotAnAbort) {
  write(300);
  os_.block_limit = 0;
  auto bytes = read_file_bytes(os_, path_);
  ASSERT_FALSE(bytes.has_value());
  EXPECT_EQ(bytes.error().what, "could not read " + path_ + ": out of memory");
  EXPECT_FALSE(bytes.error().fix.empty());
}

// The size the system gave when the file was opened is no promise: the
// file may grow while it is read, and must then be refused, not cut short.
TEST(DoctorFileReader, AFileThatGrowsPastTheLimitWhileReadIsAFinding) {
  using tavorin::doctor::FileNature;
  using tavorin::doctor::read_small_file;
  for (std::size_t grown : {MAX_FILE_BYTES - 1, MAX_FILE_BYTES,
                            MAX_FILE_BYTES + 1, 2 * MAX_FILE_BYTES}) {
    FakePlatform os;
    std::size_t left = grown;
    auto read_some = [&](std::span<char> room) -> tavorin::Result<std::size_t> {
      std::size_t step = std::min({left, room.size(), std::size_t{65536}});
      std::fill_n(room.data(), step, 'x');
      left -= step;
      return step;
    };
    auto bytes =
        read_small_file(os, "grows.json", FileNature{{}, 100}, read_some);
    if (grown <= MAX_FILE_BYTES) {
      ASSERT_TRUE(bytes.has_value()) << grown << ": " << bytes.error().what;
      EXPECT_EQ(bytes->view().size(), grown);
    } else {
      ASSERT_FALSE(bytes.has_value()) << grown << " bytes read as a manifest";
      EXPECT_EQ(
          bytes.error().what.rfind("grows.json grew past 1048576 bytes", 0), 0u)
          << bytes.error().what;
    }
  }
}

// Manifests of the test's own and a host that exists, for the doctor's
// choice among the places a browser reads.
class TakenManifest : public DoctorFiles {
 protected:
  std::string manifest(const std::string& name, const std::string& list) {
    std::string path = (folder_ / name).string();
    std::ofstream(path)
        << R"({"name": "com.tavorin.desktop", "description": "d", )"
        << R"("path": "/bin/sh", "type": "stdio", )" << list << "}";
    return path;
  }
  std::string chrome_manifest(const std::string& name) {
    return manifest(
        name, R"("allowed_origins": )"
              R"(["chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/"])");
  }
  std::string firefox_manifest(const std::string& name) {
    return manifest(name,
                    R"("allowed_extensions": ["bridge-test@tavorin.example"])");
  }
};

// The same file is the Chromium family's valid manifest and one Firefox
// refuses, whichever browser the doctor reads it for first.
TEST_F(TakenManifest, AFindingHoldsForTheBrowsersOfOneFamilyOnly) {
  using tavorin::native_messaging::find_browser;
  const std::string path = chrome_manifest("com.tavorin.desktop.json");
  const char* orders[][3] = {{"chrome", "firefox", "edge"},
                             {"firefox", "chrome", "edge"}};
  for (const auto& order : orders) {
    tavorin::doctor::ManifestFindings findings;
    for (const char* name : order) {
      const auto& browser = *find_browser(name);
      auto finding = findings.check(os_, browser, path);
      bool firefox = std::string_view(name) == "firefox";
      EXPECT_EQ(finding.check.ok, !firefox)
          << name << " after " << order[0] << ": " << finding.check.detail;
      EXPECT_EQ(finding.host.has_value(), !firefox) << name;
      EXPECT_EQ(finding.check.id, "manifest:" + std::string(name));
    }
  }
}

// Firefox on Linux passes over each manifest it refuses, in its order, and
// takes the first it accepts; the Chromium family takes the first it finds.
TEST_F(TakenManifest, FirefoxReadsOnPastTheManifestsItRefuses) {
  using tavorin::doctor::BrowserRegistration;
  using tavorin::doctor::RegistrationPlace;
  auto place = [](const std::string& path) {
    return RegistrationPlace{
        .where = path, .manifest_path = path, .manifest_exists = true};
  };
  const std::string user = chrome_manifest("user.json");
  const std::string lib = firefox_manifest("lib.json");
  const std::string lib64 = chrome_manifest("lib64.json");
  struct Case {
    const char* browser;
    std::vector<std::string> places;
    std::string taken;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"firefox",
       {user, lib, lib64},
       lib,
       {"passed over, as Firefox refuses it: " + user + ": "}},
      {"firefox", {user, lib64}, user, {"refused as well: " + lib64 + ": "}},
      {"chrome", {user, lib}, user, {}},
  };
  for (const Case& c : cases) {
    const auto& browser = *tavorin::native_messaging::find_browser(c.browser);
    BrowserRegistration registration{
        .browser = &browser,
        .takes_first_valid =
            browser.family == tavorin::native_messaging::Family::Firefox};
    for (const std::string& path : c.places) {
      registration.places.push_back(place(path));
    }
    tavorin::doctor::ManifestFindings findings;
    auto taken = tavorin::doctor::taken_manifest(os_, findings, registration);
    ASSERT_TRUE(taken.has_value());
    const std::string& detail = taken->check.detail;
    EXPECT_EQ(detail.rfind("manifest: " + c.taken + "\n", 0), 0u) << detail;
    EXPECT_EQ(taken->check.ok, c.taken == lib || c.browser[0] == 'c') << detail;
    for (const std::string& line : c.lines) {
      EXPECT_NE(detail.find("\n" + line), std::string::npos) << detail;
    }
    EXPECT_EQ(detail.find("passed over") != std::string::npos ||
                  detail.find("refused as well") != std::string::npos,
              !c.lines.empty())
        << detail;
  }
}

using tavorin::native_messaging::check_firefox_manifest;
using tavorin::native_messaging::extension_id_form;
using tavorin::native_messaging::ExtensionIdForm;

// The ID column of the table of ID cases, its escapes undone.
std::string table_id(std::string_view text) {
  std::string id;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      id += text[i];
      continue;
    }
    char escape = text[++i];
    if (escape == 't') {
      id += '\t';
    } else if (escape == 'n') {
      id += '\n';
    } else if (escape == 'x') {
      id += static_cast<char>(
          std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      id += escape;
    }
  }
  return id;
}

// The table every sorter of IDs is held to: the installers', the release
// script's and this one.
TEST(ExtensionIds, EachIsSortedAsTheTableOfIdCasesSays) {
  std::ifstream table(TAVORIN_EXTENSION_ID_TABLE);
  ASSERT_TRUE(table) << TAVORIN_EXTENSION_ID_TABLE;
  const std::map<std::string, ExtensionIdForm> forms = {
      {"chrome", ExtensionIdForm::Chromium},
      {"firefox", ExtensionIdForm::Firefox},
      {"refused", ExtensionIdForm::Neither}};
  int rows = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.starts_with('#')) continue;
    std::size_t tab = line.find('\t');
    std::string kind = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    ASSERT_TRUE(forms.contains(kind)) << line;
    std::string id = table_id(std::string_view(line).substr(0, tab));
    EXPECT_EQ(extension_id_form(id), forms.at(kind))
        << "the doctor sorts \"" << id << "\" wrongly: " << line;
    ++rows;
  }
  EXPECT_GT(rows, 30);
}

// Each origin inside a manifest of the heap, as the doctor reads one: a
// read past the end of the text would reach other memory there.
TEST(ExtensionOrigins, OnlyTheSchemeAChromiumIdAndTheSlashMakeOne) {
  using tavorin::native_messaging::check_manifest;
  using tavorin::native_messaging::System;
  const std::pair<std::string, bool> origins[] = {
      {"chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/", true},
      {"chrome-extension://", false},
      {"chrome-extension:///", false},
      {"chrome-extension:/", false},
      {"chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef", false},
      {"chrome-extension://bridge-test@tavorin.example/", false},
      {"moz-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/", false},
  };
  for (const auto& [origin, valid] : origins) {
    auto bytes = std::make_unique<std::string>(
        R"({"name": "com.tavorin.desktop", "description": "d", "path": )"
        R"("/opt/t/tavorin_shim", "type": "stdio", "allowed_origins": [")" +
        origin + "\"]}");
    auto read = check_manifest(*bytes, "com.tavorin.desktop", System::Linux);
    EXPECT_EQ(read.browser_accepts(), valid) << origin;
    if (!valid) {
      ASSERT_EQ(read.problems.size(), 1u) << origin;
      EXPECT_NE(read.problems[0].what.find("\"" + origin + "\""),
                std::string::npos)
          << read.problems[0].what;
    }
  }
}

// Linux browsers start only a host named by its absolute path; on Windows
// a path is taken relative to the manifest's folder.
TEST(ManifestPath, OnlyLinuxNeedsAnAbsolutePath) {
  using tavorin::native_messaging::System;
  struct Case {
    System system;
    const char* path;
    bool accepted;
  };
  const Case cases[] = {
      {System::Linux, "/opt/t/tavorin_shim", true},
      {System::Linux, "tavorin_shim", false},
      {System::Linux, "./tavorin_shim", false},
      {System::Linux, "~/tavorin_shim", false},
      {System::Windows, "tavorin_shim.exe", true},
      {System::Windows, "C:\\\\Tavorin\\\\tavorin_shim.exe", true},
  };
  for (const Case& c : cases) {
    const std::string common = R"({"name": "com.tavorin.desktop", "path": ")" +
                               std::string(c.path) +
                               R"(", "type": "stdio", "description": "d", )";
    const std::string chrome =
        common +
        R"("allowed_origins": ["chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/"]})";
    const std::string firefox =
        common + R"("allowed_extensions": ["bridge-test@tavorin.example"]})";
    for (auto read :
         {tavorin::native_messaging::check_manifest(
              chrome, "com.tavorin.desktop", c.system),
          check_firefox_manifest(firefox, "com.tavorin.desktop", c.system)}) {
      EXPECT_EQ(read.browser_accepts(), c.accepted) << c.path;
      if (!c.accepted) {
        ASSERT_FALSE(read.problems.empty());
        EXPECT_NE(read.problems[0].what.find("is not absolute"),
                  std::string::npos)
            << read.problems[0].what;
      }
    }
  }
}

// The manifest the installer writes for Firefox, with one member changed.
std::string firefox_manifest(const std::string& last_members) {
  return R"({"name": "com.tavorin.desktop", "path": "/opt/t/tavorin_shim",)"
         R"( "type": "stdio", )" +
         last_members + "}";
}

// Its refusal of members it does not know and of Chrome-family IDs is
// tested through the doctor, in test_doctor.py.
TEST(FirefoxManifest, ADescriptionIsNeededButMayBeEmptyAndTheListMayNot) {
  const std::string valid_list =
      R"("allowed_extensions": ["bridge-test@tavorin.example"])";
  const std::pair<std::string, const char*> refused[] = {
      {valid_list, "\"description\" is missing"},
      {R"("description": "d", "allowed_extensions": [])",
       "\"allowed_extensions\" is missing, empty"},
  };
  for (const auto& [members, problem] : refused) {
    auto read =
        check_firefox_manifest(firefox_manifest(members), "com.tavorin.desktop",
                               tavorin::native_messaging::System::Linux);
    EXPECT_FALSE(read.browser_accepts()) << members;
    ASSERT_FALSE(read.problems.empty()) << members;
    EXPECT_NE(read.problems.front().what.find(problem), std::string::npos)
        << read.problems.front().what;
  }
  auto read = check_firefox_manifest(
      firefox_manifest(R"("description": "", )" + valid_list),
      "com.tavorin.desktop", tavorin::native_messaging::System::Linux);
  EXPECT_TRUE(read.browser_accepts());
  EXPECT_EQ(read.manifest->allowed_extensions,
            std::vector<std::string>{"bridge-test@tavorin.example"});
}

TEST(FirefoxPolicies, ExtensionSettingsBlocksAsFirefoxSettlesIt) {
  const std::string id = "bridge-test@tavorin.example";
  const std::string blocks_all =
      R"("*": {"blocked_permissions": ["nativeMessaging"]})";
  const std::pair<std::string, bool> cases[] = {
      {"{" + blocks_all + "}", true},
      // An entry of the extension's own replaces "*" whole.
      {"{" + blocks_all + ", \"" + id + "\": {}}", false},
      {"{\"" + id +
           R"(": {"blocked_permissions": ["nativeMessaging", "tabs"],)"
           R"( "allowed_permissions": ["nativeMessaging"]}})",
       false},
      {"{\"" + id + R"(": {"blocked_permissions": ["nativeMessaging"]}})",
       true},
      {R"({"*": {"installation_mode": "blocked"}})", true},
      {R"({"*": {"blocked_permissions": ["tabs"]}})", false},
  };
  const std::string ids[] = {id};
  for (const auto& [settings, blocks] : cases) {
    auto findings = tavorin::doctor::judge_firefox_policies(
        "policies.json",
        R"({"policies": {"ExtensionSettings": )" + settings + "}}", ids);
    EXPECT_EQ(!findings.fix.empty(), blocks) << settings;
    EXPECT_FALSE(findings.lines.empty());
  }
  auto broken = tavorin::doctor::judge_firefox_policies("policies.json",
                                                        "{\"policies\": ", ids);
  EXPECT_EQ(broken.fix, "") << "Firefox applies no policy of a broken file";
}

// A registration place as the platform's finder reports it.
tavorin::doctor::RegistrationPlace place(std::string where, bool per_user,
                                         std::string manifest = "",
                                         std::string ignored = "") {
  tavorin::doctor::RegistrationPlace made{.where = std::move(where),
                                          .ignored_because = std::move(ignored),
                                          .per_user = per_user};
  if (!manifest.empty()) {
    made.manifest_exists = true;
    made.remove_text = "remove " + made.where;
    made.manifest_path = std::move(manifest);
  }
  return made;
}

TEST(Shadowing, OnlyAUserRegistrationTakenOverAnotherMachineManifestShadows) {
  using tavorin::doctor::BrowserRegistration;
  const auto& chrome = tavorin::native_messaging::BROWSERS[0];
  const std::string user = "C:\\Users\\ann\\tavorin\\com.tavorin.desktop.json";
  const std::string machine =
      "C:\\Program Files\\Tavorin browser host\\com.tavorin.desktop.json";
  struct Case {
    const char* what;
    std::vector<tavorin::doctor::RegistrationPlace> places;
    bool takes_first_valid;
    bool shadows;
  };
  const Case cases[] = {
      {"the user's over the machine's",
       {place("HKCU", true, user), place("HKLM32", false),
        place("HKLM", false, machine)},
       false,
       true},
      {"the same file in other letters",
       {place("HKCU", true, machine),
        place("HKLM", false,
              "c:\\program files"
              "\\tavorin browser host\\COM.TAVORIN.DESKTOP.JSON")},
       false,
       false},
      {"the machine's alone",
       {place("HKCU", true), place("HKLM", false, machine)},
       false,
       false},
      {"the user's alone",
       {place("HKCU", true, user), place("HKLM", false)},
       false,
       false},
      {"the user's ignored by policy",
       {place("HKCU", true, user, "policy"), place("HKLM", false, machine)},
       false,
       false},
      {"a browser that takes the first valid one",
       {place("~/.mozilla", true, user),
        place("/usr/lib/mozilla", false, machine)},
       true,
       false},
  };
  for (const Case& c : cases) {
    BrowserRegistration registration{.browser = &chrome,
                                     .places = c.places,
                                     .takes_first_valid = c.takes_first_valid,
                                     .paths_ignore_case = true};
    auto shadowing = tavorin::doctor::find_shadowing(registration);
    ASSERT_EQ(shadowing.has_value(), c.shadows) << c.what;
    if (!shadowing) continue;
    EXPECT_EQ(shadowing->hidden, &registration.places[2]) << c.what;
    EXPECT_EQ(tavorin::doctor::shadowing_lines(registration, *shadowing),
              (std::vector<std::string>{
                  "this user's registration hides the machine's: Google "
                  "Chrome uses " +
                      user + " (HKCU), never " + machine + " (HKLM)",
                  "to use the machine's, remove this user's: remove HKCU",
                  "to keep this user's, remove the machine's: remove HKLM"}));
  }
}

}  // namespace
