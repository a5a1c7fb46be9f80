// Native records and constants, under the platform's own names.
// On Windows they come from the system headers; on the host they are declared
// here with the same names and layouts, so the logic compiles unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <tlhelp32.h>
#else

#define WINAPI
typedef void* HANDLE;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint16_t USHORT;
typedef unsigned int UINT;
typedef int BOOL;
typedef char CHAR;
typedef uint16_t WCHAR;  // UTF-16 code unit, as on Windows
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef size_t SIZE_T;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef void* PSID;
typedef struct HKEY__* HKEY;
typedef DWORD REGSAM;
typedef struct HWND__* HWND;
typedef struct HWINSTA__* HWINSTA;
typedef void* HGLOBAL;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);
typedef uintptr_t UINT_PTR;
typedef void(WINAPI* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFFu

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define MEM_COMMIT 0x1000u
#define MEM_RESERVE 0x2000u
#define MEM_RELEASE 0x8000u
#define PAGE_READWRITE 0x04u
#define MEM_FREE 0x10000u
#define MEM_PRIVATE 0x20000u
#define MEM_MAPPED 0x40000u
#define MEM_IMAGE 0x1000000u

#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 0x102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u

#define PROCESS_DUP_HANDLE 0x40u
#define PROCESS_QUERY_INFORMATION 0x400u
#define SYNCHRONIZE 0x00100000u
#define PROCESS_VM_READ 0x10u
#define DUPLICATE_CLOSE_SOURCE 1u
#define DUPLICATE_SAME_ACCESS 2u
#define TH32CS_SNAPPROCESS 2u

#define TOKEN_QUERY 0x8u
#define TOKEN_ADJUST_PRIVILEGES 0x20u
#define SE_PRIVILEGE_ENABLED 2u
#define SECURITY_BUILTIN_DOMAIN_RID 32u
#define DOMAIN_ALIAS_RID_ADMINS 544u

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_TOKEN 1008L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_NO_DATA 232L
#define ERROR_PARTIAL_COPY 299L

#define REG_DWORD 4u
#define REG_SZ 1u
#define REG_BINARY 3u
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define KEY_QUERY_VALUE 0x1u
#define KEY_SET_VALUE 0x2u
#define KEY_CREATE_SUB_KEY 0x4u
#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

#define CP_ACP 0u
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
#define SW_SHOWNORMAL 1
#define SEE_MASK_INVOKEIDLIST 0x0000000Cu
#define MB_OK 0x0u
#define MB_YESNO 0x4u
#define MB_DEFBUTTON2 0x100u
#define MB_ICONERROR 0x10u
#define MB_ICONWARNING 0x30u
#define IDOK 1
#define IDYES 6
#define IDNO 7
#define GMEM_MOVEABLE 0x2u
#define CF_TEXT 1u

#define OFN_HIDEREADONLY 0x4u
#define OFN_OVERWRITEPROMPT 0x2u
#define OFN_PATHMUSTEXIST 0x800u
#define OFN_FILEMUSTEXIST 0x1000u
#define OFN_ENABLESIZING 0x800000u
#define OFN_EXPLORER 0x80000u
#define OFN_NOCHANGEDIR 0x8u

#define UOI_FLAGS 1
#define WSF_VISIBLE 0x1
typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS;

typedef enum _TOKEN_INFORMATION_CLASS { TokenUser = 1, TokenGroups = 2, TokenPrivileges = 3 } TOKEN_INFORMATION_CLASS;

typedef struct _LUID {
  DWORD LowPart;
  LONG HighPart;
} LUID;

typedef struct _LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES;

typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES;

typedef struct _TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
} TOKEN_GROUPS;

typedef struct _SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY;

#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}

typedef struct _MEMORY_BASIC_INFORMATION {
  void* BaseAddress;
  void* AllocationBase;
  DWORD AllocationProtect;
  SIZE_T RegionSize;
  DWORD State;
  DWORD Protect;
  DWORD Type;
} MEMORY_BASIC_INFORMATION;

typedef struct tagPROCESSENTRY32 {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  CHAR szExeFile[MAX_PATH];
} PROCESSENTRY32;

typedef struct tagPROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
} PROCESSENTRY32W;

typedef struct _SHELLEXECUTEINFOA {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
} SHELLEXECUTEINFOA;

typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  char* lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  char* lpstrFile;
  DWORD nMaxFile;
  char* lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LONG_PTR lCustData;
  void* lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEA;

#endif  // _WIN32

// Native-API records: not in the Win32 headers on either side.
typedef LONG NTSTATUS;

#ifndef STATUS_SUCCESS
#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#endif
#ifndef STATUS_BUFFER_OVERFLOW
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005L)
#endif
#ifndef STATUS_INVALID_INFO_CLASS
#define STATUS_INVALID_INFO_CLASS ((NTSTATUS)0xC0000003L)
#endif
#ifndef STATUS_BUFFER_TOO_SMALL
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#endif
#ifndef STATUS_INFO_LENGTH_MISMATCH
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004L)
#endif
#ifndef STATUS_ACCESS_DENIED
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#endif
#ifndef STATUS_INVALID_HANDLE
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008L)
#endif

// The kill command has always asked for the pre-Vista full access mask.
#define LX_PROCESS_ALL_ACCESS 0x1F0FFFu

enum : ULONG {
  SystemHandleInformation = 16,
  SystemExtendedHandleInformation = 64,
  FileNameInformation = 9,
  ObjectNameInformation = 1,
  ProcessBreakOnTermination = 29,  // a ULONG: nonzero for a process the system cannot lose
};

typedef struct _LX_UNICODE_STRING {
  USHORT Length;         // bytes, without a terminator
  USHORT MaximumLength;  // bytes
  WCHAR* Buffer;
} UNICODE_STRING;

typedef struct _LX_OBJECT_NAME_INFORMATION {
  UNICODE_STRING Name;
} OBJECT_NAME_INFORMATION;

typedef struct _LX_FILE_NAME_INFORMATION {
  ULONG FileNameLength;  // bytes
  WCHAR FileName[1];
} FILE_NAME_INFORMATION;

typedef struct _LX_IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    void* Pointer;
  };
  ULONG_PTR Information;
} IO_STATUS_BLOCK;

// The handle-table blocks of classes 16 and 64 in the 32- and 64-bit
// layouts. A layout gives byte offsets, so one reader serves every build and
// tests can build byte-exact blocks of a width other than the host's.
struct THandleTableLayout {
  ULONG InfoClass;
  unsigned PointerWidth;  // 4 or 8
  size_t HeaderSize;      // the count, padded
  size_t CountSize;
  size_t EntrySize;
  size_t PidOffset, PidSize;
  size_t TypeOffset, TypeSize;
  size_t HandleOffset, HandleSize;
  size_t ObjectOffset, ObjectSize;  // the kernel object's address
};

// SystemHandleInformation, 32-bit: u32 count; entries of ProcessId u32,
// ObjectTypeNumber u8, Flags u8, Handle u16, Object u32, GrantedAccess u32.
constexpr THandleTableLayout HandleTable16x32{16, 4, 4, 4, 16, 0, 4, 4, 1, 6, 2, 8, 4};
// SystemHandleInformation, 64-bit: count padded to 8; the same fields with
// Object pointer-sized at 8 and GrantedAccess at 16: 24 bytes.
constexpr THandleTableLayout HandleTable16x64{16, 8, 8, 8, 24, 0, 4, 4, 1, 6, 2, 8, 8};
// SystemExtendedHandleInformation: pointer-sized count and reserved field, then
// Object, UniqueProcessId, HandleValue (pointer-sized), GrantedAccess u32,
// CreatorBackTraceIndex u16, ObjectTypeIndex u16, HandleAttributes u32,
// Reserved u32.
constexpr THandleTableLayout HandleTable64x32{64, 4, 8, 4, 28, 4, 4, 18, 2, 8, 4, 0, 4};
constexpr THandleTableLayout HandleTable64x64{64, 8, 16, 8, 40, 8, 8, 30, 2, 16, 8, 0, 8};

inline const THandleTableLayout& HandleTableLayout(ULONG InfoClass, unsigned PointerWidth) {
  if (InfoClass == SystemExtendedHandleInformation) return PointerWidth == 8 ? HandleTable64x64 : HandleTable64x32;
  return PointerWidth == 8 ? HandleTable16x64 : HandleTable16x32;
}

constexpr unsigned NativePointerWidth = sizeof(void*);
