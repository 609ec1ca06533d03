// The doctor's own rules: its JSON strings (what every program reading
// --json relies on), its verdict on a live launch's log, its one reader of
// files at the edges of its limits, the forms of extension IDs, what
// Firefox makes of a manifest and of its policies, and a user's own
// registration hiding the machine's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

using tavorin::native_messaging::check_firefox_manifest;
using tavorin::native_messaging::extension_id_form;
using tavorin::native_messaging::ExtensionIdForm;

TEST(ExtensionIds, EachIsSortedByItsFormAndLookAlikesAreRefused) {
  const std::pair<const char*, ExtensionIdForm> cases[] = {
      {"gppkkhdhkkicmjpcgcpidfjhncllihef", ExtensionIdForm::Chromium},
      {"bridge-test@tavorin.example", ExtensionIdForm::Firefox},
      {"Name_1.x@Example-2.COM", ExtensionIdForm::Firefox},
      {"@example.com", ExtensionIdForm::Firefox},  // Firefox takes no name
      {"{12345678-abcd-ABCD-1234-123456789abc}", ExtensionIdForm::Firefox},
      // Look-alikes no browser would ever match.
      {"GPPKKHDHKKICMJPCGCPIDFJHNCLLIHEF", ExtensionIdForm::Neither},
      {"gppkkhdhkkicmjpcgcpidfjhncllihe", ExtensionIdForm::Neither},
      {"chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/",
       ExtensionIdForm::Neither},
      {"12345678-abcd-abcd-1234-123456789abc", ExtensionIdForm::Neither},
      {"{12345678-abcd-abcd-1234-123456789abcd}", ExtensionIdForm::Neither},
      {"{1234567g-abcd-abcd-1234-123456789abc}", ExtensionIdForm::Neither},
      {"name@", ExtensionIdForm::Neither},
      {"a@b@c", ExtensionIdForm::Neither},
      {"me+tag@example.com", ExtensionIdForm::Neither},
      {" bridge@tavorin.example", ExtensionIdForm::Neither},
      {"br\xC3\xBC"
       "cke@tavorin.example",
       ExtensionIdForm::Neither},
      {"", ExtensionIdForm::Neither},
  };
  for (const auto& [id, form] : cases) {
    EXPECT_EQ(extension_id_form(id), form) << id;
  }
}

TEST(ExtensionOrigins, OnlyTheSchemeAChromiumIdAndTheSlashMakeOne) {
  using tavorin::native_messaging::is_extension_origin;
  EXPECT_TRUE(is_extension_origin(
      "chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/"));
  for (const char* origin :
       {"chrome-extension://", "chrome-extension:///", "chrome-extension:/",
        "chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef",
        "chrome-extension://bridge-test@tavorin.example/",
        "moz-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/"}) {
    EXPECT_FALSE(is_extension_origin(origin)) << origin;
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
