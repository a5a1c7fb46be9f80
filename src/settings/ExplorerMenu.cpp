#include "settings/ExplorerMenu.h"

#include <vector>

#include "os/Owned.h"

namespace {

// Explorer shows a per-user verb from Windows 2000 on: "*" for every file,
// Directory for folders, Drive for drives.
const char* const Kinds[] = {"*", "Directory", "Drive"};

TWideString VerbKey(const char* Kind) {
  return Widen("Software\\Classes\\") + Widen(Kind) + Widen("\\shell\\Lumorex.WhatHolds");
}

TWideString CommandKey(const char* Kind) { return VerbKey(Kind) + Widen("\\command"); }

bool SetString(HKEY Key, const char* Name, const TWideString& Value) {
  return Os().RegSetValueExW(Key, Widen(Name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                             static_cast<DWORD>((Value.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

// Whether the default value of the key Path is the string Expected: a value
// longer than it does not fit the buffer and is not it.
bool DefaultValueIs(HKEY Root, const TWideString& Path, const TWideString& Expected) {
  TOwnedKey Key;
  if (Os().RegOpenKeyExW(Root, Path.c_str(), 0, KEY_QUERY_VALUE, Key.Receive()) != ERROR_SUCCESS) return false;
  std::vector<WCHAR> Value(Expected.size() + 2);
  DWORD Type = 0, Size = static_cast<DWORD>(Value.size() * sizeof(WCHAR));
  if (Os().RegQueryValueExW(Key.Get(), nullptr, nullptr, &Type, reinterpret_cast<BYTE*>(Value.data()), &Size) !=
          ERROR_SUCCESS ||
      Type != REG_SZ)
    return false;
  // Stored with its NUL or without one, as another writer may have.
  const size_t Units = Size / sizeof(WCHAR);
  const size_t Length = Units > 0 && Value[Units - 1] == 0 ? Units - 1 : Units;
  return TWideString(Value.data(), Length) == Expected;
}

HKEY CreateKey(HKEY Parent, const TWideString& Path, REGSAM Access, TOwnedKey& Key) {
  return Os().RegCreateKeyExW(Parent, Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access, nullptr,
                              Key.Receive(), nullptr) == ERROR_SUCCESS
             ? Key.Get()
             : nullptr;
}

}  // namespace

TWideString RunningProgram() {
  std::vector<WCHAR> Name(MAX_PATH);
  // A path cut to fit comes back as long as the buffer: asked again, larger.
  for (DWORD Length; (Length = Os().GetModuleFileNameW(nullptr, Name.data(), static_cast<DWORD>(Name.size()))) != 0;
       Name.resize(Name.size() * 2)) {
    if (Length < Name.size()) return TWideString(Name.data(), Length);
    if (Name.size() >= 0x8000) break;  // longer than any path Windows takes
  }
  return {};
}

TWideString Beside(const TWideString& Program, const char* Name) {
  const size_t Folder = Program.find_last_of(Widen("\\/"));
  return Folder == TWideString::npos ? TWideString() : Program.substr(0, Folder + 1) + Widen(Name);
}

TWideString ExplorerCommand(const TWideString& Program) {
  return Widen("\"") + Program + Widen("\" /file \"%1\"");
}

bool HasExplorerMenu(HKEY Root, const TWideString& Program) {
  for (const char* Kind : Kinds)
    if (!DefaultValueIs(Root, CommandKey(Kind), ExplorerCommand(Program))) return false;
  return true;
}

bool AddExplorerMenu(HKEY Root, const TWideString& Program) {
  if (Program.empty()) return false;
  for (const char* Kind : Kinds) {
    TOwnedKey Verb, Command;
    const bool Written = CreateKey(Root, VerbKey(Kind), KEY_SET_VALUE | KEY_CREATE_SUB_KEY, Verb) &&
                         SetString(Verb.Get(), "", Widen("What holds this? (Lumorex)")) &&
                         SetString(Verb.Get(), "Icon", Program) &&
                         CreateKey(Verb.Get(), Widen("command"), KEY_SET_VALUE, Command) &&
                         SetString(Command.Get(), "", ExplorerCommand(Program));
    if (!Written) {
      // A verb without its command would show in Explorer and do nothing.
      Verb.Reset();
      Command.Reset();
      RemoveExplorerMenu(Root);
      return false;
    }
  }
  return true;
}

bool RemoveExplorerMenu(HKEY Root) {
  bool Removed = true;
  for (const char* Kind : Kinds)
    // The command first: Windows deletes no key that has subkeys.
    for (const TWideString& Key : {CommandKey(Kind), VerbKey(Kind)}) {
      const LONG Result = Os().RegDeleteKeyW(Root, Key.c_str());
      Removed = Removed && (Result == ERROR_SUCCESS || Result == ERROR_FILE_NOT_FOUND);
    }
  return Removed;
}
