// The Settings and About dialogs' behaviour, and the About picture.
#include <fstream>
#include <iterator>

#include "settings/Settings.h"
#include "support/Machine.h"
#include "ui/Main.h"
#include "ui/Unit3.h"

namespace {

class SettingsDialogTest : public TMachineTest {
 protected:
  SettingsDialogTest() {
    Sim.AddAdministratorsGroup(0xF);
    Form.Form2 = &Dialog;
    Dialog.CloseDialog = [this] { ++Closed; };
    Form.FormShow();
  }
  DWORD Stored(const std::string& Name) {
    DWORD Value = 0;
    std::memcpy(&Value, Sim.Registry["hkcu\\software\\brennary\\lumorex"][Name].Data.data(), 4);
    return Value;
  }
  TForm1 Form;
  TForm2 Dialog;
  int Closed = 0;
};

TEST_F(SettingsDialogTest, FillingFollowsTheSettingsAndLeavesOtherValuesAlone) {
  Mode = SortType = 7;  // the design shows until a setting says otherwise
  Dialog.Fill();
  EXPECT_TRUE(Dialog.RadioButton1);
  EXPECT_FALSE(Dialog.RadioButton2);
  EXPECT_TRUE(Dialog.RadioButton3);
  EXPECT_FALSE(Dialog.RadioButton4);
  Mode = 0;
  Dialog.Fill();
  Mode = 1;
  SortType = 0;
  TimerInterval = 0;
  Dialog.Fill();
  EXPECT_TRUE(Dialog.RadioButton1);
  EXPECT_FALSE(Dialog.RadioButton2);
  EXPECT_TRUE(Dialog.RadioButton3);
  EXPECT_EQ(Dialog.SpinEdit1.Text, "1");  // a stored 0 shows as 1
  Mode = 0;
  SortType = 1;
  TimerInterval = 400;
  Dialog.Fill();
  EXPECT_TRUE(Dialog.RadioButton2);
  EXPECT_TRUE(Dialog.RadioButton4);
  EXPECT_EQ(Dialog.SpinEdit1.Text, "255");
  Mode = 7;
  SortType = 7;
  Dialog.Fill();
  EXPECT_TRUE(Dialog.RadioButton2);
  EXPECT_FALSE(Dialog.RadioButton1);
  EXPECT_TRUE(Dialog.RadioButton4);
  EXPECT_FALSE(Dialog.RadioButton3);
}

TEST_F(SettingsDialogTest, OkStoresTheFieldBroughtIntoRange) {
  Dialog.Fill();
  Dialog.SpinEdit1.Text = "300";
  Dialog.SpinEdit1.LoseFocus();  // the focus moves to OK
  EXPECT_EQ(Dialog.SpinEdit1.Text, "255");
  Dialog.RadioButton1 = true;
  Dialog.RadioButton2 = false;
  Dialog.RadioButton3 = false;
  Dialog.RadioButton4 = true;
  Dialog.Button1Click();
  EXPECT_EQ(TimerInterval, 255u);
  EXPECT_EQ(Mode, 1u);
  EXPECT_EQ(SortType, 1u);
  EXPECT_EQ(Stored("TimerInterval"), 255u);
  EXPECT_EQ(Stored("SortType"), 1u);
  EXPECT_EQ(Closed, 1);

  // OK pressed with Enter: the field keeps the focus and still shows what was
  // typed, and what is stored stays within 1 to 255.
  for (auto [Typed, Kept] : {std::pair<const char*, uint32_t>{"", 1}, {"0", 1}, {"256", 255}, {"99999999999", 255}}) {
    Dialog.SpinEdit1.Text = Typed;
    Dialog.Button1Click();
    EXPECT_EQ(TimerInterval, Kept) << Typed;
    EXPECT_EQ(Stored("TimerInterval"), Kept) << Typed;
  }
  Dialog.SpinEdit1.Text = "abc";
  Dialog.SpinEdit1.LoseFocus();
  EXPECT_EQ(Dialog.SpinEdit1.Text, "abc");  // stays as typed
  EXPECT_EQ(Dialog.SpinEdit1.Value(), 1);
  Dialog.SpinEdit1.Text = "-4";
  Dialog.SpinEdit1.LoseFocus();
  EXPECT_EQ(Dialog.SpinEdit1.Text, "1");
  for (const char* Within : {"01", "+255"}) {  // the bounds themselves stay as typed
    Dialog.SpinEdit1.Text = Within;
    Dialog.SpinEdit1.LoseFocus();
    EXPECT_EQ(Dialog.SpinEdit1.Text, Within);
  }
}

TEST_F(SettingsDialogTest, ArrowsStepWithinTheBoundsAndOnlySomeKeysAreAccepted) {
  TSpinField Spin;
  Spin.SetValue(254);
  Spin.Step(1);
  Spin.Step(1);
  EXPECT_EQ(Spin.Text, "255");
  Spin.SetValue(2);
  Spin.Step(-1);
  Spin.Step(-1);
  EXPECT_EQ(Spin.Text, "1");
  for (char Key : std::string("0123456789+-,\b\x03\x16")) EXPECT_TRUE(TSpinField::AcceptsKey(Key, ',')) << int(Key);
  for (char Key : std::string("a .\r")) EXPECT_FALSE(TSpinField::AcceptsKey(Key, ',')) << int(Key);
  EXPECT_TRUE(TSpinField::AcceptsKey('.', '.'));
}

TEST_F(SettingsDialogTest, CancelChangesNothingButTheWindowStillRefreshes) {
  Form.ShowSettings = [this] {
    Dialog.RadioButton1 = true;
    Dialog.RadioButton2 = false;
    Dialog.SpinEdit1.Text = "99";
    Dialog.Button2Click();
  };
  auto Before = Sim.Registry;
  int Snapshots = Sim.Calls("CreateToolhelp32Snapshot");
  Form.N4Click();
  EXPECT_EQ(Mode, 0u);
  EXPECT_EQ(TimerInterval, 10u);
  EXPECT_EQ(Sim.Registry["hkcu\\software\\brennary\\lumorex"]["Mode"].Data,
            Before["hkcu\\software\\brennary\\lumorex"]["Mode"].Data);
  EXPECT_EQ(Sim.Calls("CreateToolhelp32Snapshot"), Snapshots + 1);
  EXPECT_EQ(Screen.TimerState.Interval(), 10000u);

  Form.ShowSettings = [this] {
    Dialog.SpinEdit1.Text = "3";
    Dialog.Button1Click();
  };
  Form.N4Click();
  EXPECT_EQ(Screen.TimerState.Interval(), 3000u);
}

TEST(AboutDialog, LinksOpenTheBareAddressAndTheMailto) {
  TSimWindows Sim;
  TOsScope Use(Sim);
  TForm3 About;
  About.Handle = reinterpret_cast<HWND>(0x1234);
  About.Label5Click();
  About.Image1Click();
  About.Label2Click();
  ASSERT_EQ(Sim.ShellCalls.size(), 3u);
  EXPECT_EQ(Sim.ShellCalls[0].File, "www.brennary.example");
  EXPECT_EQ(Sim.ShellCalls[1].File, "www.brennary.example");
  EXPECT_EQ(Sim.ShellCalls[2].File, "mailto: support@brennary.example");
  for (auto& Call : Sim.ShellCalls) {
    EXPECT_EQ(Call.Verb, "open");
    EXPECT_EQ(Call.Owner, About.Handle);
    EXPECT_EQ(Call.Parameters, "<null>");
    EXPECT_EQ(Call.Directory, "<null>");
    EXPECT_EQ(Call.Show, SW_SHOWNORMAL);
  }
  About.Label5MouseMove();
  EXPECT_TRUE(About.Label5Hot);
  About.Label5MouseLeave();
  EXPECT_FALSE(About.Label5Hot);
}

std::vector<uint8_t> CommittedPicture() {
  std::ifstream In(std::string(LX_SOURCE_DIR) + "/src/ui/win32/about.jpg", std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

TEST(AboutPicture, CommittedPictureDecodesToItsSizeOnFirstPaint) {
  std::vector<uint8_t> Data = CommittedPicture();
  ASSERT_GT(Data.size(), 1000u);
  TForm3 About;
  About.PictureData = Data.data();
  About.PictureSize = Data.size();
  const TPixels* Picture = About.Picture();
  ASSERT_NE(Picture, nullptr);
  EXPECT_EQ(Picture->Width, 313);
  EXPECT_EQ(Picture->Height, 121);
  EXPECT_EQ(Picture->Rgb.size(), 313u * 121 * 3);
  EXPECT_EQ(About.Picture(), Picture);  // decoded once
  ASSERT_NE(PictureFormat("JPG"), nullptr);
  EXPECT_EQ(PictureFormat("jpeg")->Description, "JPEG Image File");
  EXPECT_EQ(PictureFormat("png"), nullptr);
}

TEST(AboutPicture, CorruptAndTruncatedDataFailCleanly) {
  std::vector<uint8_t> Data = CommittedPicture();
  TPixels Out;
  for (size_t Cut : {size_t(0), size_t(2), size_t(20), size_t(200), Data.size() / 2, Data.size() - 10}) {
    EXPECT_FALSE(DecodeJpeg(Data.data(), Cut, Out)) << "cut at " << Cut;
    EXPECT_EQ(Out.Width, 0);
    EXPECT_TRUE(Out.Rgb.empty());
  }
  std::vector<uint8_t> Noise(4000);
  for (size_t I = 0; I < Noise.size(); ++I) Noise[I] = static_cast<uint8_t>(I * 7919 >> 3);
  EXPECT_FALSE(DecodeJpeg(Noise.data(), Noise.size(), Out));
  std::vector<uint8_t> Garbled = Data;
  for (size_t I = 600; I < Garbled.size() - 2; I += 37) Garbled[I] ^= 0x5A;
  DecodeJpeg(Garbled.data(), Garbled.size(), Out);  // may decode or not; must not crash
  // A header that claims a huge picture is refused before anything is reserved.
  size_t Frame = 2;
  while (Frame + 9 < Data.size() && !(Data[Frame] == 0xFF && (Data[Frame + 1] == 0xC0 || Data[Frame + 1] == 0xC2)))
    ++Frame;
  ASSERT_LT(Frame + 9, Data.size());
  for (auto Size : {std::pair<int, int>{65000, 300}, {300, 16385}, {4096, 4097}}) {
    std::vector<uint8_t> Huge = Data;
    Huge[Frame + 5] = static_cast<uint8_t>(Size.second >> 8);
    Huge[Frame + 6] = static_cast<uint8_t>(Size.second);
    Huge[Frame + 7] = static_cast<uint8_t>(Size.first >> 8);
    Huge[Frame + 8] = static_cast<uint8_t>(Size.first);
    EXPECT_FALSE(DecodeJpeg(Huge.data(), Huge.size(), Out)) << Size.first << " x " << Size.second;
    EXPECT_TRUE(Out.Rgb.empty());
  }
  std::vector<uint8_t> BadHeader = Data;
  BadHeader[3] ^= 0xFF;
  TForm3 About;
  About.PictureData = BadHeader.data();
  About.PictureSize = 20;
  EXPECT_EQ(About.Picture(), nullptr);
}

}  // namespace
