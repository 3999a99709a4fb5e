#include <gtest/gtest.h>
#include <objbase.h>

#include <thread>

#include "DialogFont.h"
#include "MainForm.h"
#include "Platform.h"
#include "SystemCalls.h"
#include "TestFiles.h"
#include "TestPackages.h"
#include "WindowDriver.h"

namespace {

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace

TEST(MainForm, DesignValuesAreScreenPixelsAt96Dpi)
{
    ASSERT_EQ(ScreenDpi(), 96);
    EXPECT_EQ(ScaleDesignValue(220), 220);
    EXPECT_EQ(ScaleDesignValue(13), 13);
}

// Without administrator rights (a condition Wine cannot make, so through the
// rights check's seam) leaving the Welcome page shows 65246 and ends the
// wizard; the rights test comes before the 64-bit test.
TEST(MainForm, WithoutRightsTheWelcomePageEndsTheWizard)
{
    TTestFolder folder("MainFormNoRights");
    std::vector<uint8_t> picture = ReadWholeFile(WindowsPath(SETUP_EXAMPLE_DIR) + "\\Setup.jpg");
    std::vector<TPackageItem> items = {
        TPackageItem::File("Setup.ini", Lines({"[Setup]", "ProductName=Guarded", "Is64Bit=1",
                                               "RegistryRoot=Software\\SetupTests\\Guarded", "DefaultFolder=G"})),
        TPackageItem::File("Setup.lic", "L"), TPackageItem::File("Setup.jpg", std::string(picture.begin(), picture.end()))};
    WriteWholeFile(folder / "Setup.exe", AppendPackage(StubProgram(), BuildPackageBytes(items)));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TSystemCallsScope calls;
    calls->AdminRights = []() { return false; };
    TMessageBoxView seen;
    std::thread user([&] {
        DWORD self = GetCurrentProcessId();
        HWND window = nullptr;
        for (int i = 0; i < 300 && !window; ++i) {
            std::vector<HWND> found = TopLevelWindows(self, Wizard::WindowClass);
            if (!found.empty()) window = found.front();
            Sleep(20);
        }
        if (!window) return;
        Sleep(200);
        PostMessageA(GetDlgItem(window, Wizard::NextButton), BM_CLICK, 0, 0);
        seen = WaitForMessageBox(self);
        if (seen.Window) ClickButton(seen.Window, "OK");
    });
    ElevationRequests.clear();
    {
        TMainForm form(folder / "Setup.exe");
        if (form.FormCreate()) form.RunMessageLoop();
        EXPECT_EQ(form.ExitCode(), 3);
    }
    user.join();
    // Windows was asked for the rights, for everyone, and said No.
    ASSERT_EQ(ElevationRequests.size(), 1u);
    std::vector<std::string> added(ElevationRequests[0].end() - 2, ElevationRequests[0].end());
    EXPECT_EQ(added, (std::vector<std::string>{"/ALLUSERS", "/ELEVATED"}));
    CoUninitialize();
    EXPECT_EQ(seen.Title, "Information");
    EXPECT_EQ(seen.Text, "You must have Administrator or Power User rights to install\rGuarded on this computer. "
                         "Setup will now close.\r\rPlease log on as a different user and try again.");
}
