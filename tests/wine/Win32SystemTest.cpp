// The real system layer under Wine: the calls the program stands on behave as
// the logic expects.
#include <gtest/gtest.h>

#include "inspect/File2Name.h"
#include "os/Win32System.h"
#include "wine/WineSupport.h"

namespace {

TEST(Win32System, OpensNulAndFindsItInBothHandleTablesWithTheFileType) {
  TWin32System& Sys = Win32System();
  HANDLE Nul = Sys.CreateFileA("NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(Nul, INVALID_HANDLE_VALUE);
  std::string Folder = TempFolder("tables");
  std::string Path = Folder + "\\known.txt";
  HANDLE File = Sys.CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(File, INVALID_HANDLE_VALUE);
  for (ULONG Class : {ULONG(16), ULONG(64)}) {
    NTSTATUS Status;
    size_t Size = 0;
    TOwnedBlock Block = QuerySystemTable(Class, &Status, &Size);
    ASSERT_TRUE(Block) << "class " << Class << " status " << std::hex << Status;
    THandleTableView Table(Block.Get(), Size, HandleTableLayout(Class, NativePointerWidth));
    int NulType = -1, FileType = -1;
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
      auto E = Table.Entry(I);
      if (!Table.OwnedBy(E, GetCurrentProcessId())) continue;
      if (Table.IsHandle(E, reinterpret_cast<ULONG_PTR>(Nul))) NulType = E.ObjectTypeNumber;
      if (Table.IsHandle(E, reinterpret_cast<ULONG_PTR>(File))) FileType = E.ObjectTypeNumber;
    }
    EXPECT_GT(NulType, 0) << "class " << Class;
    EXPECT_EQ(NulType, FileType) << "class " << Class;
  }
  EXPECT_GT(GetFileObjectType(), 0);
  Sys.CloseHandle(File);
  Sys.CloseHandle(Nul);
  DeleteFileA(Path.c_str());
  RemoveDirectoryA(Folder.c_str());
}

TEST(Win32System, DuplicatesAChildsHandleAndNamesItThroughTheObjectQuery) {
  std::string Folder = TempFolder("dup");
  std::string Path = Folder + "\\held by child.txt";
  TChild Child({Path});
  ASSERT_TRUE(Child.Started());
  ASSERT_EQ(Child.Handles().size(), 1u);
  TWin32System& Sys = Win32System();
  HANDLE Process = Sys.OpenProcess(PROCESS_DUP_HANDLE, FALSE, Child.Pid());
  ASSERT_NE(Process, nullptr);
  HANDLE Copy = nullptr;
  ASSERT_TRUE(Sys.DuplicateHandle(Process, reinterpret_cast<HANDLE>(Child.Handles()[0]), Sys.GetCurrentProcess(),
                                  &Copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  alignas(8) BYTE Buffer[520];
  ULONG Returned = 0;
  ASSERT_EQ(Sys.NtQueryObject(Copy, ObjectNameInformation, Buffer, sizeof Buffer, &Returned), STATUS_SUCCESS);
  auto* Name = reinterpret_cast<OBJECT_NAME_INFORMATION*>(Buffer);
  std::wstring Wide(reinterpret_cast<wchar_t*>(Name->Name.Buffer), Name->Name.Length / 2);
  EXPECT_NE(Wide.find(L"held by child.txt"), std::wstring::npos);
  EXPECT_EQ(HandleToFileName(Copy).substr(1), Path.substr(1));  // drive letter case aside
  Sys.CloseHandle(Copy);
  Sys.CloseHandle(Process);
}

TEST(Win32System, ToolhelpSnapshotListsThisProcess) {
  TWin32System& Sys = Win32System();
  HANDLE Snapshot = Sys.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(Snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 Entry = {};
  Entry.dwSize = sizeof Entry;
  bool Found = false;
  for (BOOL More = Sys.Process32First(Snapshot, &Entry); More; More = Sys.Process32Next(Snapshot, &Entry))
    if (Entry.th32ProcessID == GetCurrentProcessId()) Found = std::string(Entry.szExeFile).find("lumorex_wine_tests") == 0;
  EXPECT_TRUE(Found);
  Sys.CloseHandle(Snapshot);
}

TEST(Win32System, RegistryKeepsADwordUnderTheCurrentUser) {
  TWin32System& Sys = Win32System();
  HKEY Key;
  ASSERT_EQ(Sys.RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary\\LumorexLayerTest", &Key), ERROR_SUCCESS);
  DWORD Value = 0x12345678;
  ASSERT_EQ(Sys.RegSetValueExA(Key, "Probe", 0, REG_DWORD, reinterpret_cast<BYTE*>(&Value), 4), ERROR_SUCCESS);
  DWORD Back = 0, Type = 0, Size = 4;
  ASSERT_EQ(Sys.RegQueryValueExA(Key, "Probe", nullptr, &Type, reinterpret_cast<BYTE*>(&Back), &Size), ERROR_SUCCESS);
  EXPECT_EQ(Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Back, Value);
  Sys.RegCloseKey(Key);
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary\\LumorexLayerTest");
}

}  // namespace

namespace {

TEST(Win32System, PsapiComesFromTheSystemFolderWhateverTheCurrentOne) {
  // A PSAPI.dll planted in the folder the user last saved a report to.
  std::string Folder = TempFolder("plant");
  std::string Planted = Folder + "\\PSAPI.dll";
  ASSERT_TRUE(CopyFileA((ExeFolder() + LX_CHILD_EXE).c_str(), Planted.c_str(), FALSE));
  char Before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, Before);
  SetCurrentDirectoryA(Folder.c_str());
  HANDLE Self = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
  char Path[MAX_PATH] = {};
  EXPECT_GT(Win32System().GetModuleFileNameExA(Self, nullptr, Path, MAX_PATH), 0u);
  CloseHandle(Self);
  SetCurrentDirectoryA(Before);
  char Loaded[MAX_PATH] = {}, System[MAX_PATH] = {};
  GetModuleFileNameA(GetModuleHandleA("psapi.dll"), Loaded, MAX_PATH);
  GetSystemDirectoryA(System, MAX_PATH);
  EXPECT_EQ(_strnicmp(Loaded, System, strlen(System)), 0) << Loaded;
  DeleteFileA(Planted.c_str());
  RemoveDirectoryA(Folder.c_str());
}

}  // namespace
