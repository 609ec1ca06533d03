#pragma once

#include "platform/windows/win32.h"

// The native calls of ntdll the host makes. The file calls sit below the
// console and pipe layers of kernel32, so a pipe's end and a broken pipe
// come back as plain status codes; the token and SID calls are those that
// advapi32, which the host does not import, would otherwise give.
namespace tavorin::nt {

using Status = LONG;

inline constexpr Status STATUS_PENDING_CODE = 0x00000103;
inline constexpr Status STATUS_END_OF_FILE_CODE =
    static_cast<Status>(0xC0000011);
inline constexpr Status STATUS_INFO_LENGTH_MISMATCH_CODE =
    static_cast<Status>(0xC0000004);
inline constexpr Status STATUS_ACCESS_DENIED_CODE =
    static_cast<Status>(0xC0000022);

// SystemProcessInformation's class number and the head of each of its
// entries, up to the session: the layout is the documented one of
// SYSTEM_PROCESS_INFORMATION on 64-bit Windows.
inline constexpr ULONG SYSTEM_PROCESS_INFORMATION_CLASS = 5;
struct ProcessEntryHead {
  ULONG next_entry_offset;
  ULONG number_of_threads;
  LARGE_INTEGER reserved[6];
  USHORT image_name_length;
  USHORT image_name_maximum_length;
  wchar_t* image_name;
  LONG base_priority;
  HANDLE unique_process_id;
  HANDLE inherited_from_unique_process_id;
  ULONG handle_count;
  ULONG session_id;
};

struct IoStatusBlock {
  union {
    Status status;
    void* pointer;
  };
  ULONG_PTR information;
};

using ApcRoutine = void(NTAPI*)(void* context, IoStatusBlock* io_status,
                                ULONG reserved);

inline bool succeeded(Status status) { return status >= 0; }

}  // namespace tavorin::nt

extern "C" {

tavorin::nt::Status NTAPI NtReadFile(HANDLE file, HANDLE event,
                                     tavorin::nt::ApcRoutine apc_routine,
                                     void* apc_context,
                                     tavorin::nt::IoStatusBlock* io_status,
                                     void* buffer, ULONG length,
                                     LARGE_INTEGER* byte_offset, ULONG* key);

tavorin::nt::Status NTAPI NtWriteFile(HANDLE file, HANDLE event,
                                      tavorin::nt::ApcRoutine apc_routine,
                                      void* apc_context,
                                      tavorin::nt::IoStatusBlock* io_status,
                                      const void* buffer, ULONG length,
                                      LARGE_INTEGER* byte_offset, ULONG* key);

ULONG NTAPI RtlNtStatusToDosError(tavorin::nt::Status status);

tavorin::nt::Status NTAPI NtOpenProcessToken(HANDLE process,
                                             ACCESS_MASK desired_access,
                                             HANDLE* token);

tavorin::nt::Status NTAPI
NtQueryInformationToken(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                        void* information, ULONG length, ULONG* return_length);

tavorin::nt::Status NTAPI RtlCopySid(ULONG length, PSID destination,
                                     PSID source);

BOOLEAN NTAPI RtlEqualSid(PSID first, PSID second);

tavorin::nt::Status NTAPI NtQuerySystemInformation(ULONG information_class,
                                                   void* information,
                                                   ULONG length,
                                                   ULONG* return_length);

}  // extern "C"
