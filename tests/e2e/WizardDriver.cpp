#include "WizardDriver.h"

#include <cstring>

#include "LanguageTables.h"
#include "PathUtils.h"
#include "Registry.h"
#include "SetupFacts.h"
#include "ShellFolders.h"
#include "TestPackages.h"
#include "WizardDesign.h"

namespace {

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string ExampleFile(const std::string& name)
{
    std::vector<uint8_t> bytes = ReadWholeFile(WindowsPath(SETUP_EXAMPLE_DIR) + "\\" + name);
    return std::string(bytes.begin(), bytes.end());
}

struct TFindControl {
    int Id;
    HWND Found;
};

BOOL CALLBACK MatchControl(HWND window, LPARAM context)
{
    auto* find = reinterpret_cast<TFindControl*>(context);
    if (GetDlgCtrlID(window) == find->Id) {
        find->Found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds) return false;
        Sleep(30);
    }
    return true;
}

std::string BuildTestInstaller(const TTestFolder& folder, const std::vector<std::string>& ini,
                               std::vector<TPackageItem> items, const std::string& version)
{
    items.insert(items.begin(), {TPackageItem::File("Setup.ini", Lines(ini)),
                                 TPackageItem::File("Setup.lic", "Licence line one\r\nLicence line two\r\n"),
                                 TPackageItem::File("Setup.jpg", ExampleFile("Setup.jpg"))});
    // The installer's texts in the languages the product lists, as mksetup packs them.
    std::string tables = LanguageTablesEntry(ShippedLanguages(ListedLanguages(ini)));
    if (!tables.empty()) items.push_back(TPackageItem::File(LanguageTablesFileName, tables));
    std::string program = folder / "Setup.exe";
    WriteWholeFile(program, AppendPackage(ReadWholeFile(WindowsPath(SETUP_PROGRAM)), BuildPackageBytes(items, version)));
    return program;
}

TWizard::TWizard(const std::string& program, const std::string& arguments)
    : FProcess(std::make_unique<TProcess>(program, arguments))
{
    WaitUntil([&] {
        std::vector<HWND> windows = TopLevelWindows(FProcess->Id(), Wizard::WindowClass);
        if (!windows.empty()) FWindow = windows.front();
        return FWindow != nullptr || !TopLevelWindows(FProcess->Id(), "#32770").empty() || FProcess->WaitForExit(0);
    });
    if (FWindow) WaitForPage(Wizard::pgWelcome);
}

HWND TWizard::Control(int id) const
{
    TFindControl find{id, nullptr};
    EnumChildWindows(FWindow, MatchControl, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

int TWizard::Page() const
{
    for (int page = 0; page < Wizard::PageCount; ++page) {
        HWND window = Control(Wizard::PageIdBase + page);
        if (window && IsWindowVisible(window)) return page;
    }
    return -1;
}

std::string TWizard::Text(int id) const { return WindowText(Control(id)); }
bool TWizard::Visible(int id) const { return IsWindowVisible(Control(id)) != 0; }
bool TWizard::Enabled(int id) const { return IsWindowEnabled(Control(id)) != 0; }
bool TWizard::Checked(int id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool TWizard::Focused(int id) const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(FWindow, nullptr);
    return GetGUIThreadInfo(thread, &info) && info.hwndFocus == Control(id);
}

void TWizard::SetText(int id, const std::string& text)
{
    std::wstring wide(size_t(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0)), L'\0');
    if (!wide.empty()) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &wide[0], int(wide.size()));
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void TWizard::Settle()
{
    // Let the wizard take the posted input; its handlers may open a message box.
    WaitForInputIdle(FProcess->Handle(), 2000);
    Sleep(150);
}

void TWizard::Click(int id)
{
    PostMessageA(Control(id), BM_CLICK, 0, 0);
    Settle();
}

void TWizard::PressKey(int key)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(FWindow, nullptr), &info);
    HWND target = info.hwndFocus ? info.hwndFocus : FWindow;
    LPARAM scan = LPARAM(MapVirtualKeyA(UINT(key), 0)) << 16;
    PostMessageA(target, WM_KEYDOWN, WPARAM(key), scan | 1);
    PostMessageA(target, WM_KEYUP, WPARAM(key), scan | 0xC0000001);
    Settle();
}

void TWizard::CloseBox()
{
    PostMessageA(FWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
}

bool TWizard::WaitForPage(int page, DWORD milliseconds)
{
    return WaitUntil([&] { return Page() == page; }, milliseconds);
}

TMessageBoxView TWizard::Box(DWORD milliseconds) { return WaitForMessageBox(FProcess->Id(), milliseconds); }

void TWizard::Answer(const TMessageBoxView& box, const std::string& button)
{
    if (box.Window) ClickButton(box.Window, button);
    WaitUntil([&] { return !IsWindow(box.Window); }, 5000);
    Settle();
}

void TProductKeys::Clean()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        TRegistry registry;
        registry.RootKey = root;
        registry.DeleteKey("\\Software\\SetupTests\\" + FName);
    }
    TRegistry machine;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    if (!machine.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", false)) return;
    for (const std::string& name : machine.GetKeyNames())
        if (name.rfind(FName, 0) == 0)
            machine.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name);
}

// Walks the wizard to the end, installing into `folder`; the question about a
// folder that holds other files is answered Yes. Returns what it asked.
std::string InstallWithTheWizard(const std::string& program, const std::string& folder,
                                 const std::function<void(TWizard&)>& onDestinationPage, DWORD limit)
{
    TWizard wizard(program);
    if (!wizard.Shown()) return "no wizard";
    wizard.Click(Wizard::NextButton);
    wizard.Click(Wizard::NextButton);
    if (!wizard.WaitForPage(Wizard::pgDest)) return "no destination page";
    if (onDestinationPage) onDestinationPage(wizard);
    wizard.SetText(Wizard::DestFolderInput, folder);
    wizard.Click(Wizard::NextButton);
    std::string asked;
    DWORD start = GetTickCount();
    while (!WaitUntil([&] { return wizard.Page() == Wizard::pgReady; }, 1500)) {
        if (wizard.Ended(0)) return asked + "ended";
        if (GetTickCount() - start > limit) return asked + "stuck on page " + std::to_string(wizard.Page());
        TMessageBoxView box = wizard.Box(1000);
        if (!box.Window) {
            if (wizard.Page() > Wizard::pgDest && wizard.Page() < Wizard::pgCopy) wizard.Click(Wizard::NextButton);  // the shortcuts page
            continue;
        }
        asked += box.Text + "\n";
        wizard.Answer(box, box.Buttons.front());  // "&Yes", or "OK" of an error
    }
    wizard.CloseBox();
    wizard.Ended();
    return asked;
}

// Runs an Uninst.exe to its end (Yes, then OK) and waits for its clean-up;
// returns the result it reported.
std::string UninstallWith(const std::string& uninstaller)
{
    TProcess process(uninstaller);
    TMessageBoxView question = WaitForMessageBox(process.Id());
    if (!question.Window) return "no question";
    ClickButton(question.Window, "&Yes");
    WaitUntil([&] { return !IsWindow(question.Window); }, 5000);
    TMessageBoxView result = WaitForMessageBox(process.Id());
    ClickButton(result.Window, "OK");
    process.WaitForExit(15000);
    GoneWithin(uninstaller, 20000);
    Sleep(500);  // the clean-up removes the folders after the program
    return result.Text;
}

bool UninstalledSilently(const std::string& folder)
{
    TProcess process(IncludeDelimiter(folder) + "Uninst.exe", "/S");
    return process.WaitForExit(60000) && process.ExitCode() == 0 && GoneWithin(folder, 20000);
}

void ForgetExampleEcho()
{
    TRegistry machine, user;
    machine.RootKey = HKEY_LOCAL_MACHINE;
    machine.DeleteKey("\\Software\\Example Audio");
    user.DeleteKey("\\Software\\Example Audio");
    machine.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20");
    user.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example Echo 1.20");
    for (const char* link : {"\\Example Echo Readme.lnk", "\\Uninstall Example Echo.lnk"})
        DeleteFileA((GetSpecialFolder(sfPrograms) + link).c_str());
}

bool CleanUpFoldersGoneWithin(DWORD milliseconds)
{
    return WaitUntil([] { return CleanUpFolders().empty(); }, milliseconds);
}

// Saves the window's area of the screen as a 24-bit BMP file.
bool Photograph(HWND window, const std::string& file)
{
    RECT area;
    if (!GetWindowRect(window, &area)) return false;
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> pixels(size_t(stride) * size_t(height));
    GetDIBits(memory, bitmap, 0, UINT(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = DWORD(fileHeader.bfOffBits + pixels.size());
    std::vector<uint8_t> bytes(fileHeader.bfSize);
    std::memcpy(bytes.data(), &fileHeader, sizeof fileHeader);
    std::memcpy(bytes.data() + sizeof fileHeader, &header, sizeof header);
    std::memcpy(bytes.data() + fileHeader.bfOffBits, pixels.data(), pixels.size());
    WriteWholeFile(file, bytes);
    return true;
}
