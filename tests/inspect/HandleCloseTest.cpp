// Closing a handle in its owner: only the file the user saw, and only once.
#include "inspect/HandleClose.h"

#include <chrono>
#include <functional>

#include "support/Machine.h"

namespace {

constexpr DWORD Owner = 1234;
constexpr uintptr_t Value = 0x7A4;
// Shown as "C:\docs\????.xlsx" in a Western code page, as "План.xlsx" is.
const char* const Shown = "C:\\docs\\Счёт.xlsx";

// The owner closes the value and opens Name under it: a new object, or one at
// the same address, as under Wine, which gives every object address 0.
void Reopen(TSimWindows& Sim, const char* Name, bool SameAddress) {
  const uintptr_t Listed = Sim.ObjectOf(Owner, Value).Address;
  Sim.RemoveHandle(Owner, Value);
  Sim.AddFile(Owner, std::string("\\Device\\HarddiskVolume1\\docs\\") + Name, Value);
  if (SameAddress) Sim.ObjectOf(Owner, Value).Address = Listed;
}

TEST(HandleClose, ClosesOnlyTheFileTheRowShowsAndSaysWhyNot) {
  const DWORD CloseForm = DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS;
  struct TCase {
    const char* What;
    std::function<void(TSimWindows&)> Arrange;
    TCloseResult Result;
    bool Held;  // the owner still holds the value afterwards
    bool Asked; // the close itself was asked
    DWORD Pid = Owner;  // whose handle is closed
  } Cases[] = {
      {"the same file", [](TSimWindows&) {}, TCloseResult::Closed, false, true},
      {"the same file opened again under its value: another object",
       [](TSimWindows& Sim) { Reopen(Sim, "Счёт.xlsx", false); }, TCloseResult::OtherFile, true, false},
      {"a file shown alike at the same address", [](TSimWindows& Sim) { Reopen(Sim, "План.xlsx", true); },
       TCloseResult::OtherFile, true, false},
      {"the value reused for another file", [](TSimWindows& Sim) { Reopen(Sim, "other.xlsx", false); },
       TCloseResult::OtherFile, true, false},
      {"the value reused for an event",
       [](TSimWindows& Sim) {
         Sim.RemoveHandle(Owner, Value);
         Sim.AddObject(Owner, TSimWindows::EventType, "\\BaseNamedObjects\\ev", Value);
       },
       TCloseResult::OtherFile, true, false},
      {"the value closed by its owner", [](TSimWindows& Sim) { Sim.RemoveHandle(Owner, Value); },
       TCloseResult::HandleClosed, false, false},
      {"ended", [](TSimWindows& Sim) { Sim.EndProcess(Owner); }, TCloseResult::ProcessEnded, false, false},
      {"ends", [](TSimWindows& Sim) { Sim.OnNextCall("WaitForSingleObject", [&Sim] { Sim.EndProcess(Owner); }); },
       TCloseResult::ProcessEnded, false, false},
      {"ours", [](TSimWindows& Sim) { Sim.AddFile(1000, Shown, Value); }, TCloseResult::OwnProcess, true, false, 1000},
      {"System", [](TSimWindows& Sim) { Sim.AddFile(4, Shown, Value); }, TCloseResult::SystemProcess, true, false, 4},
      {"PID 0", [](TSimWindows& Sim) { Sim.AddFile(0, Shown, Value); }, TCloseResult::SystemProcess, true, false, 0},
      {"critical", [](TSimWindows& Sim) { Sim.Process(Owner).Critical = true; }, TCloseResult::SystemProcess, true,
       false},
      {"critical, where the system does not say", [](TSimWindows& Sim) {
         Sim.Process(Owner).Critical = true;
         Sim.StatusCall("NtQueryInformationProcess", STATUS_INVALID_INFO_CLASS, 0);
       }, TCloseResult::Closed, false, true},
      {"the type of files unknown (NUL cannot be opened)", [](TSimWindows& Sim) { Sim.FailCall("CreateFileA", 0); },
       TCloseResult::Closed, false, true},
      {"the owner cannot be opened", [](TSimWindows& Sim) { Sim.Process(Owner).CanOpen = false; },
       TCloseResult::NotOpened, true, false},
      {"the table cannot be read",
       [](TSimWindows& Sim) { Sim.StatusCall("NtQuerySystemInformation", STATUS_ACCESS_DENIED, 0); },
       TCloseResult::NotVerified, true, false},
      {"the name query fails",
       [](TSimWindows& Sim) { Sim.StatusCall("NtQueryInformationFile", STATUS_ACCESS_DENIED, 0); },
       TCloseResult::NotVerified, true, false},
      {"the name query hangs", [](TSimWindows& Sim) { Sim.ObjectOf(Owner, Value).Hang = true; },
       TCloseResult::NotVerified, true, false},
      {"the close fails", [](TSimWindows& Sim) { Sim.FailCall("DuplicateHandle", 2); }, TCloseResult::NotClosed,
       true, true},
      {"the close fails after closing the source, as Windows may",
       [](TSimWindows& Sim) {
         Sim.FailCall("DuplicateHandle", 2);
         Sim.CloseSourceOnFailure = true;
       },
       TCloseResult::Closed, false, true},
      {"… and the owner opens another file under the value before the table is read again",
       [](TSimWindows& Sim) {
         Sim.FailCall("DuplicateHandle", 2);
         Sim.CloseSourceOnFailure = true;
         Sim.OnNextCall("DuplicateHandle", [&Sim] {
           Sim.OnNextCall("DuplicateHandle", [&Sim] {
             Sim.OnNextCall("NtQuerySystemInformation",
                           [&Sim] { Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\docs\\other.xlsx", Value); });
           });
         });
       },
       TCloseResult::Closed, true, true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TSimWindows Sim;
    TOsScope Use(Sim);
    Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
    Sim.AddProcess(Owner, "excel.exe");
    Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\docs\\budget.xlsx", 0x7A0);
    Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\docs\\Счёт.xlsx", Value);
    const std::u16string Name = TSimWindows::Wide(Shown);
    const THold Listed = {C.Pid, THoldKind::Handle, Value, Sim.Holds(C.Pid, Value) ? Sim.ObjectOf(C.Pid, Value).Address : 0,
                          TWideString(Name.begin(), Name.end())};
    C.Arrange(Sim);
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(CloseHandleOf(Listed), C.Result);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
    EXPECT_EQ(Sim.Holds(C.Pid, Value), C.Held);
    EXPECT_EQ(Sim.Holds(Owner, 0x7A0), Sim.Process(Owner).Alive);
    const DWORD Access = PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
    for (const auto& Open : Sim.OpenProcessCalls) EXPECT_EQ(Open, std::make_tuple(Access, FALSE, C.Pid));
    const bool Refused = C.Result == TCloseResult::OwnProcess || C.Result == TCloseResult::SystemProcess;
    EXPECT_TRUE(!Refused || Sim.DuplicateCalls.empty());
    // Every copy but the close leaves the source alone; the close is the
    // last call, into this process.
    size_t Closes = 0;
    for (const auto& Call : Sim.DuplicateCalls) {
      if (Call.Options == DUPLICATE_SAME_ACCESS) continue;
      ++Closes;
      EXPECT_EQ(Call, (TSimWindows::TDuplicateCall{Owner, Value, true, 0, FALSE, CloseForm}));
      EXPECT_EQ(&Call, &Sim.DuplicateCalls.back());
    }
    EXPECT_EQ(Closes, C.Asked ? 1u : 0u);
    EXPECT_EQ(Sim.UnsafeTerminations(), 0);
    EXPECT_TRUE(ReapAllWorkers(Sim));
    EXPECT_EQ(Sim.Outstanding(), "");
  }
}

}  // namespace
