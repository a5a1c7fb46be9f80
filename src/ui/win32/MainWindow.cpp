#include "ui/win32/MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "inspect/ListOpenFiles.h"
#include "os/Win32System.h"

namespace {

TMainWindow* Current = nullptr;
const char* const ClassName = "TForm1";

// The main window, as laid out. Controls of a group box are the window's
// children placed inside it, so their notifications reach the window. The
// status bar keeps the height the layout gives it, not one from its font.
const TControl MainLayout[] = {
    {IdGroupBox1, "BUTTON", "Process list", BS_GROUPBOX, 0, 16, 493, 48},
    {IdComboBox1, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 8, 32, 385, 320},
    {IdButton3, "BUTTON", "End process", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 400, 29, 89, 25},
    {IdGroupBox2, "BUTTON", "Files", BS_GROUPBOX, 0, 72, 493, 312},
    {IdListView1, WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA | WS_TABSTOP | WS_BORDER, 8, 88, 481, 273,
     WS_EX_CLIENTEDGE},
    {IdLabel1, "STATIC", "Open files: ", SS_LEFT, 8, 368, 200, 13},
    {IdButton1, "BUTTON", "Refresh", BS_PUSHBUTTON | WS_TABSTOP, 336, 392, 75, 25},
    {IdButton2, "BUTTON", "Exit", BS_PUSHBUTTON | WS_TABSTOP, 416, 392, 75, 25},
    {IdStatusBar1, STATUSCLASSNAMEA, "", CCS_NORESIZE | CCS_NOPARENTALIGN, 0, 423, 496, 19},
};

bool FilterForPass(MSG* Message) { return Current && Current->PreTranslate(Message); }

}  // namespace

TMainWindow* MainWindow() { return Current; }

// ---- The main view on real controls ------------------------------------------------

void TWin32MainView::SetStatus(int Panel, const std::string& Text) {
  if (Rows.size() > Known) ShowRows();  // a pass's texts never stand beside rows not yet shown
  SendMessageA(StatusBar, SB_SETTEXTA, static_cast<WPARAM>(Panel), reinterpret_cast<LPARAM>(Text.c_str()));
}

void TWin32MainView::SetOpenFilesLabel(const std::string& Text) {
  ShowRows();
  SetWindowTextA(Label, Text.c_str());
}

// The list view holds no rows of its own (owner data): it asks for the text
// of what it shows, and the rows live once, here.
void TWin32MainView::ClearFiles() {
  // The list learns it is empty at the next dispatch, with the first rows of
  // the next run if they come before it: one repaint of its scroll bar, not
  // two. It asks for no text before then, and a row it asks for that has gone
  // reads empty.
  Rows.clear();
  Known = 0;
  Os().KillTimer(Window, IdShowRowsTimer);
  PostMessageA(Window, WmShowRows, 0, 0);
  Deferred = true;
}

void TWin32MainView::AddFile(const TFileRow& Row) {
  // Rows come in runs between two dispatches of events; the list learns its
  // new count at a dispatch, or later when only the scroll bar would show it:
  // telling the list costs a repaint of its scroll bar, as much as naming a
  // hundred handles under Wine.
  if (!Deferred) {
    Deferred = true;
    const auto InView = static_cast<size_t>(SendMessageA(List, LVM_GETTOPINDEX, 0, 0) +
                                            SendMessageA(List, LVM_GETCOUNTPERPAGE, 0, 0));
    const uint32_t Wait = RowsShowDelay(Known, InView, Os().GetTickCount() - LastShown);
    if (Wait == 0)
      PostMessageA(Window, WmShowRows, 0, 0);
    else
      Os().SetTimer(Window, IdShowRowsTimer, Wait, nullptr);
  }
  Rows.push_back(Row);
}

void TWin32MainView::ShowRows() {
  if (!Deferred) return;
  Deferred = false;
  LastShown = Os().GetTickCount();
  Os().KillTimer(Window, IdShowRowsTimer);
  Known = Rows.size();
  SendMessageA(List, LVM_SETITEMCOUNT, Rows.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

const char* TWin32MainView::CellText(size_t Row, int Column) const {
  if (Row >= Rows.size()) return "";
  const TFileRow& R = Rows[Row];
  if (Column == 0) return R.Caption.c_str();
  return static_cast<size_t>(Column) <= R.SubItems.size() ? R.SubItems[Column - 1].c_str() : "";
}

void TWin32MainView::SortFiles(TRowCompare Compare, int Data) {
  // The list view's own sort was a merge sort: stable, like this one. As
  // before, no row stays selected.
  std::stable_sort(Rows.begin(), Rows.end(),
                   [&](const TFileRow& A, const TFileRow& B) { return Compare(A, B, Data) < 0; });
  LVITEMA None = {};
  None.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(List, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&None));
  InvalidateRect(List, nullptr, TRUE);
}

int TWin32MainView::SelectedFile() const {
  // Until the list learns that rows have gone, it may still hold one selected.
  const auto Row = static_cast<int>(SendMessageA(List, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return Row < static_cast<int>(Rows.size()) ? Row : -1;
}

void TWin32MainView::ClearSelector() { SendMessageA(Selector, CB_RESETCONTENT, 0, 0); }

void TWin32MainView::AddSelectorLine(const std::string& Line) {
  SendMessageA(Selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Line.c_str()));
}

int TWin32MainView::SelectorPosition() const { return static_cast<int>(SendMessageA(Selector, CB_GETCURSEL, 0, 0)); }

void TWin32MainView::SetSelectorPosition(int Position) {
  SendMessageA(Selector, CB_SETCURSEL, static_cast<WPARAM>(Position), 0);
}

std::string TWin32MainView::SelectorText() const {
  int At = SelectorPosition();
  if (At < 0) return "";
  int Length = static_cast<int>(SendMessageA(Selector, CB_GETLBTEXTLEN, static_cast<WPARAM>(At), 0));
  if (Length <= 0) return "";
  std::string Text(static_cast<size_t>(Length) + 1, '\0');
  SendMessageA(Selector, CB_GETLBTEXT, static_cast<WPARAM>(At), reinterpret_cast<LPARAM>(Text.data()));
  Text.resize(strnlen(Text.c_str(), Text.size()));
  return Text;
}

void TWin32MainView::SetEndProcessEnabled(bool Enabled) { EnableWindow(EndProcess, Enabled); }

void TWin32MainView::SetSaveReportEnabled(bool Enabled) {
  EnableMenuItem(Menu, IdN2, MF_BYCOMMAND | (Enabled ? MF_ENABLED : MF_GRAYED));
}


// ---- The window ----------------------------------------------------------------------

bool TMainWindow::Create(HINSTANCE Instance) {
  INITCOMMONCONTROLSEX Controls = {sizeof Controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&Controls);

  WNDCLASSEXA Class = {};
  Class.cbSize = sizeof Class;
  Class.lpfnWndProc = Procedure;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  Class.hIcon = LoadIconA(Instance, MAKEINTRESOURCEA(1));
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = ClassName;
  RegisterClassExA(&Class);

  HMENU Bar = CreateMenu();
  HMENU File = CreatePopupMenu();
  AppendMenuA(File, MF_STRING | MF_GRAYED, IdN2, "&Save report\tCtrl+S");
  AppendMenuA(File, MF_STRING, IdN6, "Refresh\tF5");
  AppendMenuA(File, MF_STRING, IdN8, "&Find open file...\tCtrl+F");
  AppendMenuA(File, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(File, MF_STRING, IdN12, "E&xplorer menu entry");
  AppendMenuA(File, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(File, MF_STRING, IdN7, "Exit\tAlt+F4");
  AppendMenuA(Bar, MF_POPUP, reinterpret_cast<UINT_PTR>(File), "File");
  AppendMenuA(Bar, MF_STRING, IdN4, "Settings");
  AppendMenuA(Bar, MF_STRING, IdN5, "About");

  PopupMenu1.Reset(CreatePopupMenu());
  AppendMenuA(PopupMenu1.Get(), MF_STRING, IdN9, "&Properties");
  AppendMenuA(PopupMenu1.Get(), MF_STRING, IdN10, "&Close handle...");
  AppendMenuA(PopupMenu1.Get(), MF_STRING, IdN11, "C&opy\tCtrl+C");

  ACCEL Keys[] = {{FCONTROL | FVIRTKEY, 'S', IdN2}, {FVIRTKEY, VK_F5, IdN6}, {FALT | FVIRTKEY, VK_F4, IdN7},
                  {FCONTROL | FVIRTKEY, 'F', IdN8}, {FCONTROL | FVIRTKEY, 'C', IdN11}};
  Accelerators.Reset(CreateAcceleratorTableA(Keys, static_cast<int>(std::size(Keys))));

  // A fixed single border with a system menu and a minimise box; the client
  // area is 496 x 442 whatever the frame measures on this system.
  const DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT Frame = {0, 0, 496, 442};
  AdjustWindowRectEx(&Frame, Style, TRUE, WS_EX_CONTROLPARENT);
  int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  RECT Desk;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &Desk, 0);
  int Left = Desk.left + (Desk.right - Desk.left - Width) / 2, Top = Desk.top + (Desk.bottom - Desk.top - Height) / 2;

  Current = this;
  Handle = CreateWindowExA(WS_EX_CONTROLPARENT, ClassName, "Lumorex by Brennary Software", Style, Left, Top, Width,
                           Height, nullptr, Bar, Instance, this);
  if (!Handle) return false;
  Form.Handle = Handle;
  Form.CloseWindow = [this] { PostMessageA(Handle, WM_CLOSE, 0, 0); };
  Win32System().SetMessageFilter(FilterForPass);

  MakeControls(Handle, MainLayout);
  Screen.Selector = GetDlgItem(Handle, IdComboBox1);
  Screen.EndProcess = GetDlgItem(Handle, IdButton3);
  Screen.List = GetDlgItem(Handle, IdListView1);
  Screen.Label = GetDlgItem(Handle, IdLabel1);
  Screen.StatusBar = GetDlgItem(Handle, IdStatusBar1);
  SendMessageA(Screen.List, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  const char* Titles[] = {"Handle", "Filename", "Type"};
  const int Widths[] = {70, 330, 60};
  for (int I = 0; I < 3; ++I) {
    LVCOLUMNA Column = {};
    Column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    Column.pszText = const_cast<char*>(Titles[I]);
    Column.cx = Widths[I];
    Column.iSubItem = I;
    SendMessageA(Screen.List, LVM_INSERTCOLUMNA, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&Column));
  }
  int Parts[] = {230, -1};  // the last panel runs to the edge
  SendMessageA(Screen.StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(Parts));
  Screen.SetStatus(0, "Status");
  Screen.SetStatus(1, "Processes: ");

  Screen.Window = Handle;
  Screen.Menu = GetMenu(Handle);
  SetView(&Screen);
  // The timer runs from creation, at one second until the start-up sets the
  // stored period.
  Form.FormCreate();
  return true;
}

void TMainWindow::Attach(TSettingsWindow& Settings, TAboutWindow& About, TFindWindow& Find) {
  Form.Form4 = &Find.Form;
  Form.ShowFind = [this, &Find] { Find.ShowModal(Handle); };
  Form.Form2 = &Settings.Form;
  Form.ShowSettings = [this, &Settings] { Settings.ShowModal(Handle); };
  Form.ShowAbout = [this, &About] { About.ShowModal(Handle); };
}

void TMainWindow::Show(int ShowCommand, std::vector<TWideString> Given) {
  Arguments = std::move(Given);
  ShowWindow(Handle, ShowCommand);
  UpdateWindow(Handle);
  // From the message loop: a search run inside the showing would list into
  // a window not yet on the screen.
  PostMessageA(Handle, WmStart, 0, 0);
}

bool TMainWindow::PreTranslate(MSG* Message) {
  if (!Handle || !IsWindow(Handle)) return false;
  if (MenuKey(*Message)) return true;
  HWND Top = GetAncestor(Message->hwnd, GA_ROOT);
  if (Top == Handle && TranslateAcceleratorA(Handle, Accelerators.Get(), Message)) return true;
  // Tab and Shift+Tab move through the controls, in the main window as in
  // the dialogs.
  return Top && IsDialogMessageA(Top, Message);
}

LRESULT CALLBACK TMainWindow::Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  auto* Me = Self<TMainWindow>(Window, Message, L);
  if (!Me || !Me->Handle) return DefWindowProcA(Window, Message, W, L);
  return Me->Handle_(Message, W, L);
}

void TMainWindow::Command(int Id, int Code, HWND From) {
  switch (Id) {
    case IdComboBox1:
      if (Code == CBN_DROPDOWN) Form.ComboBox1DropDown();
      if (Code == CBN_DROPDOWN || Code == CBN_SELENDOK || Code == CBN_CLOSEUP || Code == CBN_SELCHANGE) {
        const auto Note = Code == CBN_DROPDOWN  ? TPickFilter::DropDown
                          : Code == CBN_SELENDOK ? TPickFilter::SelEndOk
                          : Code == CBN_CLOSEUP  ? TPickFilter::CloseUp
                                                 : TPickFilter::SelChange;
        bool Dropped = SendMessageA(From, CB_GETDROPPEDSTATE, 0, 0) != 0;
        if (Picks.Picked(Note, Dropped, Screen.SelectorPosition())) Form.ComboBox1Select();
      }
      break;
    case IdButton3: Form.Button3Click(); break;
    case IdButton1: Form.Button1Click(); break;
    case IdN6: Form.Button1Click(); break;
    case IdButton2: Form.Button2Click(); break;
    case IdN7: Form.N7Click(); break;
    case IdN2:
      if (!(GetMenuState(Screen.Menu, IdN2, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED))) Form.N2Click();
      break;
    case IdN4: Form.N4Click(); break;
    case IdN5: Form.N5Click(); break;
    case IdN8: Form.N8Click(); break;
    case IdN9: Form.N9Click(); break;
    case IdN10: Form.N10Click(); break;
    case IdN11: Form.N11Click(); break;
    case IdN12: Form.N12Click(); break;
  }
}

// Shift+F10 and the Menu key open the file list's menu on its selected row.
// Both their presses and releases are taken here, so that no default handling
// opens it a second time or takes F10 for the menu bar.
bool TMainWindow::MenuKey(const MSG& Message) {
  if (Message.hwnd != Screen.List) return false;
  const bool Apps = Message.wParam == VK_APPS && (Message.message == WM_KEYDOWN || Message.message == WM_KEYUP);
  const bool ShiftF10 = Message.wParam == VK_F10 && Message.message == WM_SYSKEYDOWN && GetKeyState(VK_SHIFT) < 0;
  if (Message.wParam == VK_F10 && Message.message == WM_SYSKEYUP && SwallowF10Up) {
    SwallowF10Up = false;
    return true;
  }
  if (!Apps && !ShiftF10) return false;
  SwallowF10Up = ShiftF10;
  if (Message.message != WM_KEYUP) Form.HandleEvent([this] { ShowFileMenu({}, true); });
  return true;
}

void TMainWindow::ShowFileMenu(POINT At, bool Keyboard) {
  HWND List = Screen.List;
  int Row = Screen.SelectedFile();
  if (Keyboard) {
    if (Row < 0) return;
    SendMessageA(List, LVM_ENSUREVISIBLE, static_cast<WPARAM>(Row), FALSE);
    RECT Box = {LVIR_LABEL, 0, 0, 0};
    SendMessageA(List, LVM_GETITEMRECT, static_cast<WPARAM>(Row), reinterpret_cast<LPARAM>(&Box));
    At = {Box.left + 8, Box.bottom};
    ClientToScreen(List, &At);
  } else {
    // As Windows lists do, the row under the mouse is selected first.
    LVHITTESTINFO Hit = {};
    Hit.pt = At;
    ScreenToClient(List, &Hit.pt);
    Row = static_cast<int>(SendMessageA(List, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&Hit)));
    if (Row < 0 || static_cast<size_t>(Row) >= Screen.FileCount()) return;
    LVITEMA State = {};
    State.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    State.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(List, LVM_SETITEMSTATE, static_cast<WPARAM>(Row), reinterpret_cast<LPARAM>(&State));
  }
  const TFileMenu Items = Form.PopupMenu1Popup();
  HMENU Menu = PopupMenu1.Get();
  EnableMenuItem(Menu, IdN9, MF_BYCOMMAND | (Items.Properties ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(Menu, IdN10, MF_BYCOMMAND | (Items.CloseHandle ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(Menu, IdN11, MF_BYCOMMAND | (Items.Copy ? MF_ENABLED : MF_GRAYED));
  // The choice arrives as WM_COMMAND, like the menu bar's.
  TrackPopupMenu(Menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, At.x, At.y, 0, Handle, nullptr);
}

LRESULT TMainWindow::Handle_(UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_SHOWWINDOW:
      if (W && !Shown) {
        Shown = true;
        Form.HandleEvent([this] { Form.FormShow(); });
      }
      break;
    case WM_COMMAND: {
      int Id = LOWORD(W), Code = HIWORD(W);
      HWND From = reinterpret_cast<HWND>(L);
      Form.HandleEvent([&] { Command(Id, Code, From); });
      return 0;
    }
    case WM_NOTIFY: {
      auto* Header = reinterpret_cast<NMHDR*>(L);
      if (Header->idFrom == IdListView1 && Header->code == LVN_COLUMNCLICK) {
        int Column = reinterpret_cast<NMLISTVIEW*>(L)->iSubItem;
        Form.HandleEvent([&] { Form.ListView1ColumnClick(Column); });
      } else if (Header->idFrom == IdListView1 && Header->code == NM_DBLCLK) {
        Form.HandleEvent([&] { Form.ListView1DblClick(); });
      } else if (Header->idFrom == IdListView1 && Header->code == LVN_GETDISPINFOA) {
        LVITEMA& Item = reinterpret_cast<NMLVDISPINFOA*>(L)->item;
        if ((Item.mask & LVIF_TEXT) && Item.pszText && Item.cchTextMax > 0)
          lstrcpynA(Item.pszText, Screen.CellText(static_cast<size_t>(Item.iItem), Item.iSubItem), Item.cchTextMax);
      } else if (Header->idFrom == IdListView1 && Header->code == LVN_GETDISPINFOW) {
        LVITEMW& Item = reinterpret_cast<NMLVDISPINFOW*>(L)->item;
        if ((Item.mask & LVIF_TEXT) && Item.pszText && Item.cchTextMax > 0 &&
            !MultiByteToWideChar(CP_ACP, 0, Screen.CellText(static_cast<size_t>(Item.iItem), Item.iSubItem), -1,
                                 Item.pszText, Item.cchTextMax))
          Item.pszText[Item.cchTextMax - 1] = L'\0';
      }
      return 0;
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(W) != Screen.List) break;
      Form.HandleEvent([&] {
        // -1: asked from the keyboard by a way other than ours.
        const bool Keyboard = L == -1;
        ShowFileMenu({static_cast<short>(LOWORD(L)), static_cast<short>(HIWORD(L))}, Keyboard);
      });
      return 0;
    case WmShowRows:
      Screen.ShowRows();
      return 0;
    case WmStart:
      Form.HandleEvent([this] { Form.Start(Arguments); });
      return 0;
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(W) == GetSubMenu(Screen.Menu, 0))
        Form.HandleEvent([this] {
          CheckMenuItem(Screen.Menu, IdN12, MF_BYCOMMAND | (Form.N12Checked() ? MF_CHECKED : MF_UNCHECKED));
        });
      return 0;
    case WM_TIMER:
      if (W == IdTimer1) Form.HandleEvent([this] { Form.Timer1Timer(); });
      if (W == IdShowRowsTimer) Screen.ShowRows();
      return 0;
    case WM_CLOSE:
      // Never close under a running pass: ask it to stop, close after it.
      Form.HandleEvent([this] {
        if (!Form.FormCloseQuery()) return;
        Form.FormClose();
        DestroyWindow(Handle);
      });
      return 0;
    case WM_DESTROY:
      Os().KillTimer(Handle, IdTimer1);
      Accelerators.Reset();
      Screen.Window = nullptr;
      Handle = nullptr;
      Win32System().SetMessageFilter(nullptr);
      if (Current == this) Current = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(Handle, Message, W, L);
}

int RunMessageLoop(TMainWindow& Window) {
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    if (Window.PreTranslate(&Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return static_cast<int>(Message.wParam);
}
