#include "log/log.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "log/error_text.h"

namespace tavorin::testing {
namespace {

TEST(ErrorText, EachFormReadsAsItsOwnText) {
  FakePlatform os;
  EXPECT_EQ(
      error_text(os, IoError::system(10061, ErrorKind::ConnectionRefused)),
      "No connection could be made because the target machine actively "
      "refused it. (os error 10061)");
  EXPECT_EQ(error_text(os, IoError::system(-5, ErrorKind::Uncategorized)),
            "Unknown error (os error -5)");
  EXPECT_EQ(error_text(os, IoError::kind_only(ErrorKind::OutOfMemory)),
            "out of memory");
  EXPECT_EQ(error_text(os, FILL_BUFFER_ERROR), "failed to fill whole buffer");
  // A custom error shows its message alone: no kind, no code.
  EXPECT_EQ(error_text(os, IoError::custom(ErrorKind::ConnectionRefused,
                                           "Could not connect to app on any "
                                           "port")),
            "Could not connect to app on any port");
}

TEST(LogLine, ValuesFillTheTemplateInOrder) {
  FakePlatform os;
  write_log_line(os, "a {} b {} c {} d", std::int32_t{-7}, std::uint32_t{42},
                 std::string_view("{}"));
  EXPECT_EQ(os.stderr_data, "\xF0\x9F\x94\xA7 shim: a -7 b 42 c {} d\n");
}

TEST(LogLine, LongValueIsWrittenWholeAndUnchanged) {
  FakePlatform os;
  std::string value(5000, 'x');
  value.back() = '\n';
  write_log_line(os, "v: {}!", value);
  EXPECT_EQ(os.stderr_data, std::string(LOG_PREFIX) + "v: " + value + "!\n");
}

TEST(LogLineDeathTest, FailingStandardErrorIsFatalWithItsReport) {
  EXPECT_EXIT(
      {
        FakePlatform os;
        os.system_messages[233] = "No process is on the other end.";
        os.stderr_error = IoError::system(233, ErrorKind::Uncategorized);
        os.stderr_fails_once = true;
        write_log_line(os, "never seen");
      },
      ::testing::ExitedWithCode(101),
      "^\nthread 'main' panicked at src/log/log.cpp:[0-9]+:\n"
      "failed printing to stderr: No process is on the other end. "
      "\\(os error 233\\)\n$");
}

}  // namespace
}  // namespace tavorin::testing
