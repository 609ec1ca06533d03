#include <gtest/gtest.h>

#include "app_link/connect_to_app.h"
#include "app_link/connection_attempts.h"
#include "app_link/instance_detection.h"
#include "app_link/port_file.h"
#include "fake_platform.h"

namespace tavorin::testing {
namespace {

constexpr const char* PORT_FILE = "C:\\Temp\\tavorin_port.txt";
constexpr const char* DEV_LOCK = "C:\\Temp\\tavorin_dev_instance.lock";
constexpr const char* PROD_LOCK = "C:\\Temp\\tavorin_app_instance.lock";

TEST(PortFile, AcceptsDecimalWithOptionalPlusAndSurroundingSpace) {
  EXPECT_EQ(parse_port("7879\r\n"), 7879);
  EXPECT_EQ(parse_port("+07879"), 7879);
  EXPECT_EQ(parse_port("0"), 0);
  EXPECT_EQ(parse_port("65535"), 65535);
  EXPECT_EQ(parse_port("000000000000000000080"), 80);
  // Unicode white space trims like ASCII white space.
  EXPECT_EQ(parse_port("\u3000\u00A0 7880\u2028\u0085"), 7880);
}

TEST(PortFile, RejectsAnythingButOnePort) {
  for (const char* bad : {"65536", "-7879", "7879 7880", "7879abc", " \t\r\n",
                          "", "+", "-", "++7879", "78 79", "7879\n7880",
                          "\xEF\xBB\xBF"
                          "7879",
                          "0x1F90", "\u00BD", "99999999999999999999"}) {
    EXPECT_EQ(parse_port(bad), std::nullopt) << bad;
  }
}

TEST(PortFile, LogsOnlyAUsablePort) {
  FakePlatform os;
  os.readable_files.emplace(PORT_FILE, "7879\r\n");
  EXPECT_EQ(read_port_file(os), 7879);
  EXPECT_EQ(os.log_lines(), Lines{"Read port 7879 from file"});

  FakePlatform unusable;
  unusable.readable_files.emplace(PORT_FILE, "port=7879");
  EXPECT_EQ(read_port_file(unusable), std::nullopt);
  unusable.readable_files.erase(PORT_FILE);
  unusable.readable_files.emplace(PORT_FILE,
                                  std::unexpected(INVALID_UTF8_ERROR));
  EXPECT_EQ(read_port_file(unusable), std::nullopt);
  EXPECT_TRUE(unusable.stderr_data.empty());
}

TEST(InstanceDetection, NamesEveryLockFileFound) {
  struct Case {
    std::set<std::string> present;
    Lines lines;
  };
  const Case cases[] = {
      {{PROD_LOCK},
       {"Found lock file - app is running", "Production mode detected"}},
      {{DEV_LOCK},
       {"Found lock file - app is running", "Development mode detected"}},
      {{DEV_LOCK, PROD_LOCK},
       {"Found lock file - app is running", "Development mode detected",
        "Production mode detected"}},
  };
  for (const Case& c : cases) {
    FakePlatform os;
    os.existing_paths = c.present;
    EXPECT_TRUE(check_app_running(os));
    EXPECT_EQ(os.log_lines(), c.lines);
  }
}

TEST(InstanceDetection, JoinsWithOneSeparatorAndQuotesThePaths) {
  FakePlatform os;
  os.temp_dir = "D:\\It's here";  // no trailing separator
  EXPECT_FALSE(check_app_running(os));
  EXPECT_EQ(
      os.log_lines(),
      (Lines{
          "No lock file found - app not running",
          R"(Checked for dev lock: "D:\\It's here\\tavorin_dev_instance.lock")",
          R"(Checked for prod lock: "D:\\It's here\\tavorin_app_instance.lock")"}));
}

TEST(ConnectToApp, FilePortFirstThenFallbacksInOrder) {
  FakePlatform os;
  os.accepts = [](std::uint16_t port) { return port == 7880; };
  ASSERT_TRUE(connect_to_app(os).has_value());
  EXPECT_EQ(os.connects, (std::vector<std::uint16_t>{7878, 7879, 7880}));
  EXPECT_EQ(os.log_lines(),
            (Lines{"Port 7878 not available", "Port 7879 not available",
                   "Connected to app on port 7880"}));
}

TEST(ConnectToApp, DeadFilePortFallsBackSilently) {
  FakePlatform os;
  os.readable_files.emplace(PORT_FILE, "9000");
  os.accepts = [](std::uint16_t port) { return port == 7878; };
  ASSERT_TRUE(connect_to_app(os).has_value());
  EXPECT_EQ(os.log_lines(), (Lines{"Read port 9000 from file",
                                   "Connected to app on port 7878"}));
}

TEST(ConnectToApp, FilePortInTheListIsTriedAgainAndTheErrorIsFixed) {
  FakePlatform os;
  os.readable_files.emplace(PORT_FILE, "7878");
  Result<Socket> connected = connect_to_app(os);
  ASSERT_FALSE(connected.has_value());
  EXPECT_EQ(connected.error().message(),
            "Could not connect to app on any port");
  EXPECT_EQ(connected.error().kind(), ErrorKind::ConnectionRefused);
  EXPECT_EQ(os.connects,
            (std::vector<std::uint16_t>{7878, 7878, 7879, 7880, 7881, 7882}));
  EXPECT_EQ(os.log_lines(),
            (Lines{"Read port 7878 from file", "Port 7878 not available",
                   "Port 7879 not available", "Port 7880 not available",
                   "Port 7881 not available", "Port 7882 not available"}));
  EXPECT_TRUE(os.open_sockets.empty());
}

TEST(ConnectToApp, EveryConnectIsRefusedAtOnceOrStillTried) {
  FakePlatform os;
  os.readable_files.emplace(PORT_FILE, "9000");
  ASSERT_FALSE(connect_to_app(os).has_value());
  EXPECT_EQ(os.connects.size(), 6u);
  EXPECT_EQ(os.connects_with_retries, 0);
  EXPECT_TRUE(os.open_sockets.empty());

  // A system that cannot turn the retries off still connects, only slower.
  FakePlatform old_system;
  old_system.skip_retries_error =
      IoError::system(10045, ErrorKind::Uncategorized);
  old_system.accepts = [](std::uint16_t port) { return port == 7879; };
  ASSERT_TRUE(connect_to_app(old_system).has_value());
  EXPECT_EQ(old_system.connects, (std::vector<std::uint16_t>{7878, 7879}));
}

TEST(ConnectToApp, ListenersOfAnotherUserAreNotTheApp) {
  FakePlatform os;
  os.readable_files.emplace(PORT_FILE, "9000");
  os.accepts = [](std::uint16_t) { return true; };
  os.foreign_listeners = {9000, 7878};
  Result<Socket> connected = connect_to_app(os);
  ASSERT_TRUE(connected.has_value());
  EXPECT_EQ(os.log_lines(),
            (Lines{"Read port 9000 from file", "Port 7878 not available",
                   "Connected to app on port 7879"}));
  EXPECT_EQ(os.open_sockets.size(), 1u)
      << "a foreign listener's socket stayed open";
}

// Where the system names the process at the app's end (Windows), the port
// file's port and each fallback port are judged as on Linux: what the host
// cannot vouch for is passed over unused, and only the fallback port says so.
TEST(ConnectToApp,
     TheHostsUserTheMachineOrAWithheldProcessOfItsSessionIsTheApp) {
  struct Case {
    const char* what;
    Result<ListenerOwner> owner;
    bool ours;
  };
  const Case cases[] = {
      {"another user's process", ListenerOwner::AnotherUser, false},
      {"a process withheld in another session", ListenerOwner::RefusedElsewhere,
       false},
      {"a process that is gone", ListenerOwner::Unknown, false},
      {"a lookup that failed",
       std::unexpected(IoError::system(122, ErrorKind::Uncategorized)), false},
      // The same user's app elevated or in another session: its token names
      // our user all the same.
      {"a process of our user", ListenerOwner::OurUser, true},
      {"the machine's own account", ListenerOwner::System, true},
      // An elevated app whose token Windows withholds from the host.
      {"a process withheld in the host's session",
       ListenerOwner::RefusedInOurSession, true},
      {"process 0, as Wine names every one", ListenerOwner::Unnamed, true},
  };
  for (const Case& c : cases) {
    FakePlatform os;
    os.readable_files.emplace(PORT_FILE, "9000");
    os.accepts = [](std::uint16_t) { return true; };
    os.listener_owners = {{9000, c.owner}, {7878, c.owner}};
    Result<Socket> connected = connect_to_app(os);
    ASSERT_TRUE(connected.has_value()) << c.what;
    Lines expected =
        c.ours ? Lines{"Read port 9000 from file",
                       "Connected to app on port 9000 (from file)"}
               : Lines{"Read port 9000 from file", "Port 7878 not available",
                       "Connected to app on port 7879"};
    EXPECT_EQ(os.log_lines(), expected) << c.what;
    EXPECT_EQ(os.open_sockets.size(), 1u) << c.what;
  }
}

TEST(ConnectionAttempts, RetriesOneSecondApartUntilTheAppAnswers) {
  for (std::size_t sleeps : {0u, 2u, 4u}) {
    FakePlatform os;
    os.accepts = [&os, sleeps](std::uint16_t port) {
      return port == 7882 && os.sleeps.size() >= sleeps;
    };
    ASSERT_TRUE(connect_with_retries(os).has_value());
    EXPECT_EQ(os.sleeps, std::vector<std::chrono::nanoseconds>(
                             sleeps, std::chrono::seconds(1)));
    Lines lines = os.log_lines();
    EXPECT_EQ(lines.back(), "Successfully connected on attempt " +
                                std::to_string(sleeps + 1));
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Waiting 1 second before retry..."),
              static_cast<long>(sleeps));
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "All connection attempts failed"),
              0);
  }
}

TEST(ConnectionAttempts, GivesUpAfterFiveWithFourWaits) {
  FakePlatform os;
  Result<Socket> connected = connect_with_retries(os);
  ASSERT_FALSE(connected.has_value());
  EXPECT_EQ(connected.error().message(),
            "Failed to connect to app after all retries");
  EXPECT_EQ(os.sleeps,
            std::vector<std::chrono::nanoseconds>(4, std::chrono::seconds(1)));
  EXPECT_EQ(os.connects.size(), 25u);
  Lines expected = {"Starting connection attempts..."};
  for (int n = 1; n <= 5; ++n) {
    expected.push_back("Connection attempt " + std::to_string(n) + " of 5");
    for (int port = 7878; port <= 7882; ++port) {
      expected.push_back("Port " + std::to_string(port) + " not available");
    }
    expected.push_back("Connection attempt " + std::to_string(n) +
                       " failed: Could not connect to app on any port");
    if (n < 5) expected.push_back("Waiting 1 second before retry...");
  }
  expected.push_back("All connection attempts failed");
  EXPECT_EQ(os.log_lines(), expected);
}

TEST(ConnectionAttempts, EachAttemptReadsThePortFileAfresh) {
  FakePlatform os;
  int attempts = 0;
  // The app writes its port file only after the first attempt.
  os.accepts = [&](std::uint16_t port) {
    if (port == 7882 && ++attempts == 1) {
      os.readable_files.emplace(PORT_FILE, "9100");
    }
    return port == 9100;
  };
  ASSERT_TRUE(connect_with_retries(os).has_value());
  EXPECT_EQ(os.log_lines().back(), "Successfully connected on attempt 2");
  EXPECT_EQ(os.sleeps.size(), 1u);
}

}  // namespace
}  // namespace tavorin::testing
