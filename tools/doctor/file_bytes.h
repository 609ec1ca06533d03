#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/io_error.h"
#include "platform/transfer.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// The most the doctor reads of one file. The manifests the installers write
// are under 1 KiB, and a browser's policy files a few KiB even with long
// lists; 1 MiB is hundreds of times that, yet little to hold and parse at
// once. A larger file is no manifest, whatever made it: a sparse file of
// 50 GB reads as zeros until memory runs out.
inline constexpr std::size_t MAX_FILE_BYTES = std::size_t{1} << 20;

// Why the doctor did not read a file: what a person is shown, and the one
// action that fixes it.
struct UnreadableFile {
  std::string what;
  std::string fix;
};

// What the system says an open file is: `other_kind` is empty for a regular
// file, and names anything else as a person would ("a FIFO", "a folder").
struct FileNature {
  std::string_view other_kind;
  std::uint64_t size = 0;
};

// A file's bytes, in a block of the platform's memory, which goes back when
// they are no longer needed.
class FileBytes {
 public:
  // Room for MAX_FILE_BYTES and one byte more, which tells a longer file.
  // The platform's blocks, unlike an ordinary allocation, can fail without
  // stopping the program: then there is nothing.
  static std::optional<FileBytes> reserve(Platform& os);

  FileBytes(FileBytes&& other) noexcept
      : os_(other.os_),
        block_(std::exchange(other.block_, nullptr)),
        size_(other.size_) {}
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  FileBytes& operator=(FileBytes&&) = delete;
  ~FileBytes();

  std::span<char> room() { return {block_, MAX_FILE_BYTES + 1}; }
  void keep(std::size_t size) { size_ = size; }
  std::string_view view() const { return {block_, size_}; }

 private:
  FileBytes(Platform& os, char* block) : os_(&os), block_(block) {}

  Platform* os_;
  char* block_;
  std::size_t size_ = 0;
};

// The finding for a file that is not a regular one, or is larger than
// MAX_FILE_BYTES; nothing for a file the doctor may read.
std::optional<UnreadableFile> refusal(const std::string& path,
                                      FileNature nature);
// The findings for a file that could not be opened or read: the system's
// reason, the memory missing, or a file that grew past the limit while it
// was read.
UnreadableFile cannot_read(Platform& os, const std::string& path,
                           const IoError& error);
UnreadableFile out_of_memory(const std::string& path);
UnreadableFile grew_too_large(const std::string& path);

// A file read whole through `read_some`, once the system has said what it
// is: only a regular file of at most MAX_FILE_BYTES, into memory that can
// fail, and never a byte past the limit. Anything else is a finding.
template <typename ReadSome>
std::expected<FileBytes, UnreadableFile> read_small_file(
    Platform& os, const std::string& path, FileNature nature,
    ReadSome&& read_some) {
  if (std::optional<UnreadableFile> refused = refusal(path, nature)) {
    return std::unexpected(*std::move(refused));
  }
  std::optional<FileBytes> bytes = FileBytes::reserve(os);
  if (!bytes) return std::unexpected(out_of_memory(path));
  Result<std::size_t> got = read_until_end_or_full(read_some, bytes->room());
  if (!got) return std::unexpected(cannot_read(os, path, got.error()));
  if (*got > MAX_FILE_BYTES) return std::unexpected(grew_too_large(path));
  bytes->keep(*got);
  return *std::move(bytes);
}

}  // namespace tavorin::doctor
