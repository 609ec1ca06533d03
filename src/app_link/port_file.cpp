#include "app_link/port_file.h"

#include <string>

#include "log/log.h"
#include "platform/platform.h"
#include "platform/temp_path.h"
#include "text/white_space.h"

namespace tavorin {

std::optional<std::uint16_t> parse_port(std::string_view text) {
  text = trim(text);
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 65535) return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::optional<std::uint16_t> read_port_file(Platform& os) {
  Result<std::string> content =
      os.read_text_file(temp_file_path(os, PORT_FILE), MAX_PORT_FILE_SIZE);
  if (!content) return std::nullopt;
  std::optional<std::uint16_t> port = parse_port(*content);
  if (port) write_log_line(os, "Read port {} from file", *port);
  return port;
}

}  // namespace tavorin
