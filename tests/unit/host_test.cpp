#include "host/host.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace tavorin::testing {
namespace {

const Lines START_UP = {"Tavorin Native Messaging Host v1.0",
                        "Starting initialization...",
                        "Checking if main app is running..."};

Lines concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(Host, NotRunningExplainsAndExitsWithoutTouchingChromeOrNetwork) {
  FakePlatform os;
  EXPECT_EQ(run_host(os), 0);
  EXPECT_EQ(
      os.log_lines(),
      concat(
          {START_UP,
           {"No lock file found - app not running",
            R"(Checked for dev lock: "C:\\Temp\\tavorin_dev_instance.lock")",
            R"(Checked for prod lock: "C:\\Temp\\tavorin_app_instance.lock")",
            "Main app not detected (no lock file found)",
            "This usually means:", "  1. Tavorin app is not running",
            "  2. App crashed and didn't clean up lock file",
            "  3. Different user/session is running the app",
            "Exiting gracefully"}}));
  EXPECT_FALSE(os.stdin_touched);
  EXPECT_TRUE(os.connects.empty());
  EXPECT_TRUE(os.stdout_data.empty());
}

TEST(Host, LaunchMarkerHoldsTheLaunchSecondsAndNothingElse) {
  FakePlatform os;
  run_host(os);
  EXPECT_EQ(os.written_files.at("C:\\Temp\\shim_launched.txt"),
            "Launched at 1767225600");
}

TEST(Host, MarkerFailuresNeverStopTheHost) {
  FakePlatform unwritable;
  unwritable.write_file_error = IoError::system(5, ErrorKind::PermissionDenied);
  EXPECT_EQ(run_host(unwritable), 0);
  EXPECT_EQ(unwritable.log_lines().front(), START_UP.front());

  // A clock before 1970 leaves no marker instead of ending the host.
  FakePlatform before_epoch;
  before_epoch.clock_seconds.reset();
  EXPECT_EQ(run_host(before_epoch), 0);
  EXPECT_TRUE(before_epoch.written_files.empty());
  EXPECT_EQ(before_epoch.log_lines().size(), 12u);
}

TEST(Host, UnreachableAppFailsTheSessionWithStatusOne) {
  FakePlatform os;
  os.existing_paths.insert("C:\\Temp\\tavorin_app_instance.lock");
  EXPECT_EQ(run_host(os), 1);
  Lines lines = os.log_lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(last_lines(lines, 6),
            (Lines{"All connection attempts failed",
                   "Communication session failed: Failed to connect to app "
                   "after all retries",
                   "This could indicate:", "  1. App became unresponsive",
                   "  2. Network connectivity issues",
                   "  3. App was terminated during communication"}));
  EXPECT_TRUE(os.stdout_data.empty());
  EXPECT_FALSE(os.stdin_touched);
}

TEST(Host, CompleteSessionLogsEveryStepInOrder) {
  FakePlatform os;
  os.existing_paths.insert("C:\\Temp\\tavorin_app_instance.lock");
  os.readable_files.emplace("C:\\Temp\\tavorin_port.txt", "7900\n");
  os.accepts = [](std::uint16_t port) { return port == 7900; };
  os.stdin_data = frame(R"({"ask":1})");
  os.app_chunks.emplace_back("{\"answer\":1}\n");

  EXPECT_EQ(run_host(os), 0);
  EXPECT_EQ(
      os.log_lines(),
      concat({START_UP,
              {"Found lock file - app is running", "Production mode detected",
               "Main app detected, establishing communication...",
               "Starting connection attempts...", "Connection attempt 1 of 5",
               "Read port 7900 from file",
               "Connected to app on port 7900 (from file)",
               "Successfully connected on attempt 1",
               "Setting up communication channels...",
               "Proxy mode active - ready to relay messages",
               "Received message #1 from Chrome",
               R"(Relaying message to app: {"ask":1})",
               R"(Received response from app: {"answer":1})",
               "Successfully relayed response #1 to Chrome",
               "Chrome disconnected (EOF) after 1 messages",
               "Proxy loop ended after 1 messages",
               "Communication session completed successfully",
               "Shutting down gracefully"}}));
  EXPECT_EQ(frames_in(os.stdout_data), Lines{R"({"answer":1})"});
  EXPECT_TRUE(os.open_sockets.empty()) << "the session leaked a socket";
}

TEST(Host, PreparationFailureFailsTheSessionWithTheSystemText) {
  FakePlatform os;
  os.existing_paths.insert("C:\\Temp\\tavorin_dev_instance.lock");
  os.accepts = [](std::uint16_t port) { return port == 7878; };
  os.duplicate_error = IoError::system(10061, ErrorKind::ConnectionRefused);
  EXPECT_EQ(run_host(os), 1);
  Lines lines = os.log_lines();
  EXPECT_EQ(last_lines(lines, 5).front(),
            "Communication session failed: No connection could be made "
            "because the target machine actively refused it. (os error 10061)");
  EXPECT_TRUE(os.open_sockets.empty());
  EXPECT_FALSE(os.stdin_touched);
}

TEST(HostDeathTest, UnwritableStandardErrorEndsWithStatus101) {
  EXPECT_EXIT(
      {
        FakePlatform os;
        os.stderr_error = IoError::system(232, ErrorKind::BrokenPipe);
        run_host(os);
      },
      ::testing::ExitedWithCode(101), "");
}

TEST(Host, MissingStandardErrorChangesNothingButTheLog) {
  FakePlatform os;
  os.stderr_error = IoError::system(6, ErrorKind::Uncategorized);
  os.existing_paths.insert("C:\\Temp\\tavorin_app_instance.lock");
  os.accepts = [](std::uint16_t port) { return port == 7881; };
  os.stdin_data = frame("{}");
  os.app_chunks.emplace_back("{\"ok\":true}\n");
  EXPECT_EQ(run_host(os), 0);
  EXPECT_EQ(frames_in(os.stdout_data), Lines{R"({"ok":true})"});
  EXPECT_TRUE(os.stderr_data.empty());
}

}  // namespace
}  // namespace tavorin::testing
