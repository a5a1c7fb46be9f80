#include "wine/WineSupport.h"

#include "inspect/File2Name.h"

#include <cstdlib>
#include <vector>

std::string ExeFolder() {
  char Path[MAX_PATH];
  DWORD N = GetModuleFileNameA(nullptr, Path, MAX_PATH);
  std::string Folder(Path, N);
  return Folder.substr(0, Folder.find_last_of("\\/") + 1);
}

std::wstring WideFromUtf8(const std::string& Text) {
  std::wstring Wide(Text.size(), L'\0');
  const int N = MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Wide.data(),
                                    static_cast<int>(Wide.size()));
  Wide.resize(N > 0 ? static_cast<size_t>(N) : 0);
  return Wide;
}

std::vector<std::string> HardNames(const std::string& Folder, size_t LongLength) {
  std::string Deep = Folder + "\\" + std::string(120, 'd');
  CreateDirectoryW(WideFromUtf8("\\\\?\\" + Deep).c_str(), nullptr);
  const std::string Start = Deep + "\\long-";
  return {Folder + "\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt",
          Folder + "\\smile \xF0\x9F\x98\x80.log",
          Folder + "\\b\xC3\xA4r, \xC3\xA4.txt",
          Start + std::string(LongLength - Start.size() - 4, 'x') + ".dat"};
}

namespace {
// Reads a pipe to its end on a thread of its own, so neither of a child's two
// pipes can fill while the other is read.
DWORD WINAPI ReadToEnd(LPVOID Parameter) {
  auto* Pipe = static_cast<std::pair<HANDLE, std::string>*>(Parameter);
  char Buffer[4096];
  DWORD Read;
  while (ReadFile(Pipe->first, Buffer, sizeof Buffer, &Read, nullptr) && Read > 0) Pipe->second.append(Buffer, Read);
  return 0;
}
}  // namespace

TConsoleRun RunConsoleProgram(const std::string& Arguments, const std::function<void(HANDLE Process)>& Started,
                              HANDLE Output) {
  TConsoleRun Run;
  SECURITY_ATTRIBUTES Inherit = {sizeof Inherit, nullptr, TRUE};
  std::pair<HANDLE, std::string> Out{}, Err{};
  HANDLE OutWrite, ErrWrite, InRead, InWrite;
  CreatePipe(&Out.first, &OutWrite, &Inherit, 0);
  CreatePipe(&Err.first, &ErrWrite, &Inherit, 0);
  SetHandleInformation(Out.first, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(Err.first, HANDLE_FLAG_INHERIT, 0);
  // Standard input is an empty pipe, as from a script: Wine hands a child
  // given none the input of its hidden console, where a question would wait.
  CreatePipe(&InRead, &InWrite, &Inherit, 0);
  CloseHandle(InWrite);
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = InRead;
  Startup.hStdOutput = Output ? Output : OutWrite;
  Startup.hStdError = ErrWrite;
  std::wstring Line = WideFromUtf8("\"" + ExeFolder() + "..\\" + LX_CONSOLE_EXE + "\" " + Arguments);
  PROCESS_INFORMATION Info = {};
  const BOOL Made = CreateProcessW(nullptr, Line.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW | (Output ? CREATE_SUSPENDED : 0), nullptr, nullptr, &Startup, &Info);
  CloseHandle(OutWrite);
  if (Output) {
    CloseHandle(Output);
    if (Made) ResumeThread(Info.hThread);
  }
  CloseHandle(ErrWrite);
  CloseHandle(InRead);
  if (Made) {
    if (Started) Started(Info.hProcess);
    HANDLE Reader = CreateThread(nullptr, 0, ReadToEnd, &Err, 0, nullptr);
    ReadToEnd(&Out);
    WaitForSingleObject(Reader, INFINITE);
    CloseHandle(Reader);
    WaitForSingleObject(Info.hProcess, INFINITE);
    GetExitCodeProcess(Info.hProcess, &Run.Exit);
    CloseHandle(Info.hProcess);
    CloseHandle(Info.hThread);
    Run.Started = true;
  }
  CloseHandle(Out.first);
  CloseHandle(Err.first);
  Run.Out = std::move(Out.second);
  Run.Err = std::move(Err.second);
  return Run;
}

std::string TempFolder(const std::string& Name) {
  char Base[MAX_PATH];
  GetTempPathA(MAX_PATH, Base);
  std::string Folder = std::string(Base) + "lumorex-" + Name + "-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(Folder.c_str(), nullptr);
  return Folder;
}

TChild::TChild(const std::vector<std::string>& Opens) {
  SECURITY_ATTRIBUTES Inherit = {sizeof Inherit, nullptr, TRUE};
  HANDLE OutWrite, InRead;
  CreatePipe(&OutRead, &OutWrite, &Inherit, 0);
  CreatePipe(&InRead, &StdinWrite, &Inherit, 0);
  SetHandleInformation(OutRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(StdinWrite, HANDLE_FLAG_INHERIT, 0);
  std::string Command = "\"" + ExeFolder() + LX_CHILD_EXE + "\" parent:" + std::to_string(GetCurrentProcessId());
  for (auto& O : Opens) Command += " \"" + O + "\"";
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = InRead;
  Startup.hStdOutput = OutWrite;
  Startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring Line = WideFromUtf8(Command);
  BOOL Made = CreateProcessW(nullptr, Line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &Startup, &Info);
  CloseHandle(OutWrite);
  CloseHandle(InRead);
  if (Made) {
    std::string Text;
    char Buffer[256];
    DWORD Read;
    while (Text.find("ready") == std::string::npos && ReadFile(OutRead, Buffer, sizeof Buffer, &Read, nullptr) &&
           Read > 0)
      Text.append(Buffer, Read);
    size_t At = 0;
    for (size_t End; (End = Text.find('\n', At)) != std::string::npos; At = End + 1) {
      std::string Item = Text.substr(At, End - At);
      if (!Item.empty() && Item.back() == '\r') Item.pop_back();
      if (Item == "ready") {
        Ready = true;
        break;
      }
      Values.push_back(static_cast<ULONG_PTR>(std::strtoull(Item.c_str(), nullptr, 16)));
    }
  }
}

std::string TChild::Write() {
  DWORD Done = 0;
  if (!WriteFile(StdinWrite, "write\n", 6, &Done, nullptr)) return "no child";
  std::string Line;
  char C;
  while (ReadFile(OutRead, &C, 1, &Done, nullptr) && Done == 1 && C != '\n') Line += C;
  if (!Line.empty() && Line.back() == '\r') Line.pop_back();
  return Line;
}

TChild::~TChild() {
  CloseHandle(StdinWrite);
  if (OutRead) CloseHandle(OutRead);
  if (Info.hProcess) {
    if (WaitForSingleObject(Info.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(Info.hProcess, 1);
    CloseHandle(Info.hProcess);
    CloseHandle(Info.hThread);
  }
}

TRegistryLock::TRegistryLock() : Mutex(CreateMutexA(nullptr, FALSE, "lumorex-tests-registry")) {
  WaitForSingleObject(Mutex, 60000);
}

TRegistryLock::~TRegistryLock() {
  ReleaseMutex(Mutex);
  CloseHandle(Mutex);
}

void SaveWindowShot(HWND Window, const std::string& Name) {
  RECT R;
  GetWindowRect(Window, &R);
  SaveScreenShot(R, Name);
}

void SaveScreenShot(RECT R, const std::string& Name) {
  int W = R.right - R.left, H = R.bottom - R.top;
  HDC Screen = GetDC(nullptr);
  HDC Memory = CreateCompatibleDC(Screen);
  HBITMAP Bitmap = CreateCompatibleBitmap(Screen, W, H);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, W, H, Screen, R.left, R.top, SRCCOPY);
  SelectObject(Memory, Old);
  BITMAPINFOHEADER Info = {sizeof Info, W, -H, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  int Stride = (W * 3 + 3) & ~3;
  std::vector<BYTE> Pixels(static_cast<size_t>(Stride) * H);
  GetDIBits(Memory, Bitmap, 0, H, Pixels.data(), reinterpret_cast<BITMAPINFO*>(&Info), DIB_RGB_COLORS);
  BITMAPFILEHEADER File = {0x4D42, static_cast<DWORD>(sizeof File + sizeof Info + Pixels.size()), 0, 0,
                           sizeof File + sizeof Info};
#ifdef _WIN64
  const char* Build = "";
#else
  const char* Build = "-win32";  // the product's run must not replace the 64-bit shots
#endif
  std::string Path = ExeFolder() + "..\\..\\" + Name + Build + ".bmp";
  HANDLE Out = CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD Written;
  WriteFile(Out, &File, sizeof File, &Written, nullptr);
  WriteFile(Out, &Info, sizeof Info, &Written, nullptr);
  WriteFile(Out, Pixels.data(), static_cast<DWORD>(Pixels.size()), &Written, nullptr);
  CloseHandle(Out);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
  ReleaseDC(nullptr, Screen);
}

void PumpFor(DWORD Milliseconds, const std::function<bool(MSG*)>& Filter) {
  DWORD Start = GetTickCount();
  do {
    MSG Message;
    while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
      if (Filter && Filter(&Message)) continue;
      TranslateMessage(&Message);
      DispatchMessageA(&Message);
    }
    Sleep(10);
  } while (GetTickCount() - Start < Milliseconds);
}

namespace {
// Mouse moves to At, with extra button flags on all but the first.
void MouseInput(POINT At, int Count, const DWORD* Buttons) {
  const int W = GetSystemMetrics(SM_CXSCREEN), H = GetSystemMetrics(SM_CYSCREEN);
  INPUT Moves[3] = {};
  for (int I = 0; I < Count; ++I) {
    Moves[I].type = INPUT_MOUSE;
    Moves[I].mi.dx = static_cast<LONG>((At.x * 65535 + W / 2) / (W - 1));
    Moves[I].mi.dy = static_cast<LONG>((At.y * 65535 + H / 2) / (H - 1));
    Moves[I].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | Buttons[I];
  }
  SendInput(static_cast<UINT>(Count), Moves, sizeof(INPUT));
}
}  // namespace

void ClickAt(POINT At) {
  const DWORD Buttons[] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  MouseInput(At, 3, Buttons);
}

void RightClickAt(POINT At) {
  const DWORD Buttons[] = {0, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP};
  MouseInput(At, 3, Buttons);
}

void MoveMouseTo(POINT At) {
  const DWORD Buttons[] = {0};
  MouseInput(At, 1, Buttons);
}

POINT MiddleOf(HWND Window, RECT Client) {
  POINT At = {(Client.left + Client.right) / 2, (Client.top + Client.bottom) / 2};
  ClientToScreen(Window, &At);
  return At;
}

POINT MiddleOf(HWND Window) {
  RECT R;
  GetClientRect(Window, &R);
  return MiddleOf(Window, R);
}

void PressKey(WORD Key, WORD Modifier) {
  INPUT Keys[4] = {};
  for (INPUT& K : Keys) K.type = INPUT_KEYBOARD;
  Keys[0].ki.wVk = Keys[3].ki.wVk = Modifier;
  Keys[1].ki.wVk = Keys[2].ki.wVk = Key;
  Keys[2].ki.dwFlags = Keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
  if (Modifier)
    SendInput(4, Keys, sizeof(INPUT));
  else
    SendInput(2, Keys + 1, sizeof(INPUT));
}

namespace {
struct TFindMain {
  DWORD Pid;
  HWND Found;
};
constexpr int ComboId = 101;  // the selector

// A named function: a lambda has no stdcall conversion on 32-bit Windows.
BOOL CALLBACK FindMainWindow(HWND W, LPARAM P) {
  auto* F = reinterpret_cast<TFindMain*>(P);
  DWORD Owner = 0;
  GetWindowThreadProcessId(W, &Owner);
  char Class[32] = {};
  GetClassNameA(W, Class, sizeof Class);
  if (Owner == F->Pid && std::string(Class) == "TForm1") F->Found = W;
  return !F->Found;
}
}  // namespace

TRunningProgram::TRunningProgram(const std::wstring& Command) {
  std::wstring Line = Command.empty() ? WideFromUtf8("\"" + ExeFolder() + "..\\" + LX_MAIN_EXE + "\"") : Command;
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  if (!CreateProcessW(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Info)) return;
  WaitForInputIdle(Info.hProcess, 10000);
  TFindMain Find = {Info.dwProcessId, nullptr};
  for (int Try = 0; Try < 100 && !Find.Found; ++Try) {
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&Find));
    if (!Find.Found) Sleep(100);
  }
  Window = Find.Found;
  HWND Combo = GetDlgItem(Window, ComboId);
  for (int Try = 0; Try < 100 && Window && SendMessageA(Combo, CB_GETCOUNT, 0, 0) <= 0; ++Try) Sleep(100);
}

TRunningProgram::~TRunningProgram() {
  if (!Info.hProcess) return;
  // Whatever the outcome, the program does not outlive its test.
  if (WaitForSingleObject(Info.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(Info.hProcess, 1);
  CloseHandle(Info.hProcess);
  CloseHandle(Info.hThread);
}

namespace {
// The selector line that shows Pid, or -1.
int LineOf(HWND Combo, DWORD Pid, const std::string& Exe, std::string* Seen) {
  char Wanted[300];
  snprintf(Wanted, sizeof Wanted, "%04lu   %s", static_cast<unsigned long>(Pid), Exe.c_str());
  int Count = static_cast<int>(SendMessageA(Combo, CB_GETCOUNT, 0, 0));
  for (int I = 0; I < Count; ++I) {
    // Across processes the line travels as wide text.
    wchar_t Wide[300] = {};
    SendMessageW(Combo, CB_GETLBTEXT, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(Wide));
    std::string Text(Wide, Wide + wcslen(Wide));
    if (Seen) *Seen += Text + "|";
    if (Text == Wanted) return I;
  }
  return -1;
}
}  // namespace

bool TRunningProgram::Pick(DWORD Pid, const std::string& Exe, std::string* Seen,
                           const std::function<void()>& Picking) {
  if (!Window) return false;
  HWND Combo = GetDlgItem(Window, ComboId);
  int At = LineOf(Combo, Pid, Exe, Seen);
  if (At < 0) return false;
  if (Picking) Picking();
  SendMessageA(Combo, CB_SETCURSEL, static_cast<WPARAM>(At), 0);
  DWORD_PTR Result;
  SendMessageTimeoutA(Window, WM_COMMAND, MAKEWPARAM(ComboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Combo),
                      SMTO_NORMAL, 120000, &Result);
  return true;
}

bool TRunningProgram::PickWithMouse(DWORD Pid, const std::string& Exe) {
  if (!Window) return false;
  HWND Combo = GetDlgItem(Window, ComboId);
  int At = LineOf(Combo, Pid, Exe, nullptr);
  if (At < 0) return false;
  SetForegroundWindow(Window);
  RECT Box;
  GetWindowRect(Combo, &Box);
  ClickAt({(Box.left + Box.right) / 2, (Box.top + Box.bottom) / 2});
  for (int Try = 0; Try < 50 && !SendMessageA(Combo, CB_GETDROPPEDSTATE, 0, 0); ++Try) Sleep(20);
  if (!SendMessageA(Combo, CB_GETDROPPEDSTATE, 0, 0)) return false;
  // The list opens right under the box, one line per item height.
  int Height = static_cast<int>(SendMessageA(Combo, CB_GETITEMHEIGHT, 0, 0));
  int Top = static_cast<int>(SendMessageA(Combo, CB_GETTOPINDEX, 0, 0));
  ClickAt({(Box.left + Box.right) / 2, Box.bottom + 1 + (At - Top) * Height + Height / 2});
  DWORD_PTR Result;
  SendMessageTimeoutA(Window, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &Result);
  return SendMessageA(Combo, CB_GETCURSEL, 0, 0) == At;
}

bool TRunningProgram::Close() {
  if (!Window) return false;
  PostMessageA(Window, WM_CLOSE, 0, 0);
  return WaitForSingleObject(Info.hProcess, 10000) == WAIT_OBJECT_0;
}

size_t ReapNameWorkersWithin(DWORD Milliseconds) {
  const DWORD Start = GetTickCount();
  size_t Kept = ReapNameWorkers();
  while (Kept != 0 && GetTickCount() - Start < Milliseconds) {
    Sleep(10);
    Kept = ReapNameWorkers();
  }
  return Kept;
}
