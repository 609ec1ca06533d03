#include "file_bytes.h"

#include "log/error_text.h"
#include "platform/platform.h"
#include "system.h"

namespace tavorin::doctor {

std::optional<FileBytes> FileBytes::reserve(Platform& os) {
  void* block = os.resize_block(nullptr, MAX_FILE_BYTES + 1);
  if (block == nullptr) return std::nullopt;
  return FileBytes(os, static_cast<char*>(block));
}

FileBytes::~FileBytes() {
  if (block_ != nullptr) os_->free_block(block_);
}

std::optional<UnreadableFile> refusal(const std::string& path,
                                      FileNature nature) {
  if (!nature.other_kind.empty()) {
    return UnreadableFile{
        path + " is " + std::string(nature.other_kind) + ", not a file",
        std::string(NOT_A_MANIFEST_FIX)};
  }
  if (nature.size > MAX_FILE_BYTES) {
    return UnreadableFile{path + " is " + std::to_string(nature.size) +
                              " bytes, far more than any manifest or policy "
                              "file (the doctor reads at most " +
                              std::to_string(MAX_FILE_BYTES) + ")",
                          std::string(NOT_A_MANIFEST_FIX)};
  }
  return std::nullopt;
}

UnreadableFile cannot_read(Platform& os, const std::string& path,
                           const IoError& error) {
  return {"could not read " + path + ": " + error_text(os, error),
          "make " + path + " readable, or install again"};
}

UnreadableFile out_of_memory(const std::string& path) {
  return {"could not read " + path + ": out of memory",
          "close other programs, then run tavorin_doctor again"};
}

UnreadableFile grew_too_large(const std::string& path) {
  return {path + " grew past " + std::to_string(MAX_FILE_BYTES) +
              " bytes while the doctor read it, far more than any manifest "
              "or policy file",
          std::string(NOT_A_MANIFEST_FIX)};
}

}  // namespace tavorin::doctor
