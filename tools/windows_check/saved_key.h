#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tavorin::windows_check {

// A registry key's values as they were (or that it was not there), put
// back when this goes: a check that lets an installer write a user's own
// registration leaves it exactly as it found it.
class SavedKey {
 public:
  SavedKey(HKEY hive, std::wstring key, REGSAM view);
  SavedKey(const SavedKey&) = delete;
  SavedKey& operator=(const SavedKey&) = delete;
  ~SavedKey() { restore(); }

  // What was saved, for the report: "not there" or its default value.
  std::string describe() const;

  // Puts the key back as it was; false when that failed.
  bool restore();

 private:
  struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  HKEY hive_;
  std::wstring key_;
  REGSAM view_;
  bool existed_ = false;
  bool restored_ = false;
  std::vector<Value> values_;
};

}  // namespace tavorin::windows_check
