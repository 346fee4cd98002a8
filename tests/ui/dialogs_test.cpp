// Drives the process list and the settings dialogs over the real main window
// as a user would, through messages, against the sample target: needs a
// display (Xvfb under Wine).

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "framework/window_text.h"
#include "settings/settings_listing.h"
#include "settings/settings_paths.h"
#include "settings/settings_record.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_process.h"
#include "ui/main_window.h"
#include "ui/picture.h"

namespace corvane {
namespace {

namespace sample = corvane::sample;

std::wstring wide(std::u16string_view text) { return {text.begin(), text.end()}; }

class DialogsTest : public MainWindowTest {
protected:
    void SetUp() override {
        for (std::u16string_view name : {u"Config.ini", u"sample_target.ini", u"other.ini", u"fresh.ini"}) remove(name);
        MainWindowTest::SetUp();
    }
    void TearDown() override {
        if (form_)
            for (Form* dialog : {static_cast<Form*>(&form_->processList()), static_cast<Form*>(&form_->saveDialog()),
                                 static_cast<Form*>(&form_->loadDialog())})
                if (dialog->isOpen()) DestroyWindow(dialog->hwnd());
        MainWindowTest::TearDown();
        for (std::u16string_view name : {u"Config.ini", u"sample_target.ini", u"other.ini", u"fresh.ini"}) remove(name);
    }

    static std::u16string settingsFile(std::u16string_view name) { return settingsFolder() + std::u16string(name); }
    static void remove(std::u16string_view name) {
        DeleteFileW(reinterpret_cast<const wchar_t*>(settingsFile(name).c_str()));
    }
    static std::string fileBytes(std::u16string_view name) {
        std::ifstream in(std::filesystem::path(settingsFile(name)), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeSection(std::u16string_view file, const std::string& name, const std::string& structure) {
        const SettingsRecord record{structure, "3", "0", "0", "", ""};
        ASSERT_TRUE(writeSettingsRecord(settingsFile(file), name, record));
    }

    // The sample runs, but is not chosen yet.
    void launchSample() {
        std::string why;
        sample_ = sample::SampleProcess::start(false, false, why);
        ASSERT_TRUE(sample_) << why;
    }
    void chooseSample() {
        launchSample();
        form_->chooseProcess(sample_->pid());
        ASSERT_EQ(windowText(c->Command选择进程), L"sample_target.exe");
    }
    void press(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
    // Runs `press` and waits for the dialog to close itself.
    bool closesAfter(Form& dialog, const std::function<void()>& press) {
        press();
        return pumpUntil([&] { return !dialog.isOpen(); }, 5000ms);
    }
    int rowOf(const ListView& list, DWORD pid) {
        for (int row = 0; row < list.itemCount(); ++row)
            if (static_cast<DWORD>(list.itemParam(row)) == pid) return row;
        return -1;
    }
    // A real click on a column header: the list turns it into LVN_COLUMNCLICK.
    void clickHeader(const ListView& list, int column) {
        HWND header = list.header();
        RECT item{};
        SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
        const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(header, WM_LBUTTONUP, 0, at);
        pump(20ms);
    }
    static void printControls(HWND form) {
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 600, 400);
        HGDIOBJ old = SelectObject(memory, bitmap);
        EnumChildWindows(
            form,
            [](HWND child, LPARAM dc) -> BOOL {
                SendMessageW(child, WM_PRINT, static_cast<WPARAM>(dc), PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(memory));
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    std::vector<std::wstring> column(const ListView& list, int index) {
        std::vector<std::wstring> cells;
        for (int row = 0; row < list.itemCount(); ++row) cells.push_back(list.itemText(row, index));
        return cells;
    }
};

TEST_F(DialogsTest, TheProcessListShowsTheSampleTargetWithItsDirectory) {
    launchSample();
    ProcessListDialog& dialog = form_->processList();
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    const ProcessListControls& d = dialog.controls();
    EXPECT_EQ(windowText(dialog.hwnd()), L"进程列表");
    const int row = rowOf(d.ListV进程, sample_->pid());
    ASSERT_GE(row, 0) << "rows: " << d.ListV进程.itemCount();
    EXPECT_EQ(d.ListV进程.itemText(row, kProcessNameColumn), L"sample_target.exe");
    EXPECT_EQ(d.ListV进程.itemText(row, kProcessPidColumn), std::to_wstring(sample_->pid()));
    // The sample runs in this test's directory, which the system records with
    // a trailing separator.
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    std::wstring expected = directory;
    if (expected.back() != L'\\') expected += L'\\';
    EXPECT_EQ(d.ListV进程.itemText(row, kProcessPathColumn), expected + L"sample_target.exe");
    const wchar_t* headers[] = {L"进程名称", L"Pid", L"进程路径"};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[32] = {};
        LVCOLUMNW info{};
        info.mask = LVCF_TEXT;
        info.pszText = text;
        info.cchTextMax = 32;
        SendMessageW(d.ListV进程, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(text, headers[i]);
    }
    // Refreshing lists it again.
    press(d.Command刷新进程);
    EXPECT_GE(rowOf(d.ListV进程, sample_->pid()), 0);
    EXPECT_NE(GetWindowLongPtrW(dialog.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << "topmost once loaded";
}

TEST_F(DialogsTest, SortingIsNumericByPidByNameWithoutCaseAndTheDirectoryCarriesOverAReopen) {
    launchSample();
    ProcessListDialog& dialog = form_->processList();
    ASSERT_TRUE(dialog.create(window_));
    const ListView& list = dialog.controls().ListV进程;
    ASSERT_GE(list.itemCount(), 2);

    clickHeader(list, kProcessPidColumn);
    EXPECT_EQ(dialog.sortState().direction, SortDirection::Ascending);
    std::vector<std::wstring> pids = column(list, kProcessPidColumn);
    for (std::size_t i = 1; i < pids.size(); ++i)
        EXPECT_LE(std::stoul(pids[i - 1]), std::stoul(pids[i])) << "row " << i;
    EXPECT_EQ(list.sortArrow(kProcessPidColumn), HDF_SORTUP);

    clickHeader(list, kProcessPidColumn);
    pids = column(list, kProcessPidColumn);
    for (std::size_t i = 1; i < pids.size(); ++i) EXPECT_GE(std::stoul(pids[i - 1]), std::stoul(pids[i]));
    EXPECT_EQ(list.sortArrow(kProcessPidColumn), HDF_SORTDOWN);

    // After a descending sort, the next column sorts ascending; the old arrow goes.
    clickHeader(list, kProcessNameColumn);
    const std::vector<std::wstring> names = column(list, kProcessNameColumn);
    for (std::size_t i = 1; i < names.size(); ++i)
        EXPECT_LE(lstrcmpiW(names[i - 1].c_str(), names[i].c_str()), 0)
            << "row " << i << ": " << narrow(names[i - 1]) << " before " << narrow(names[i]);
    EXPECT_EQ(list.sortArrow(kProcessNameColumn), HDF_SORTUP);
    EXPECT_EQ(list.sortArrow(kProcessPidColumn), 0);

    // Reopened, the rows come in snapshot order and the direction goes on.
    ASSERT_TRUE(closesAfter(dialog, [&] { dialog.closeForm(); }));
    ASSERT_TRUE(dialog.create(window_));
    clickHeader(dialog.controls().ListV进程, kProcessNameColumn);
    EXPECT_EQ(dialog.sortState().direction, SortDirection::Descending);
    const std::vector<std::wstring> reversed = column(dialog.controls().ListV进程, kProcessNameColumn);
    for (std::size_t i = 1; i < reversed.size(); ++i)
        EXPECT_GE(lstrcmpiW(reversed[i - 1].c_str(), reversed[i].c_str()), 0) << "row " << i;
}

TEST_F(DialogsTest, ChoosingFromTheListLoadsTheTargetsSettingsOnlyWhenTheTargetChanges) {
    launchSample();
    writeSection(u"Config.ini", "sample_target.exe", "110000000]28]");
    ProcessListDialog& dialog = form_->processList();
    ASSERT_TRUE(dialog.create(window_));
    const ListView& list = dialog.controls().ListV进程;
    list.selectOnly(rowOf(list, sample_->pid()));
    ASSERT_TRUE(closesAfter(dialog, [&] { press(dialog.controls().Command打开进程); }));
    EXPECT_EQ(form_->target().targetPid.load(), sample_->pid());
    EXPECT_EQ(windowText(c->Command选择进程), L"sample_target.exe");
    EXPECT_EQ(windowText(c->Text结构), L"110000000]28]");
    EXPECT_EQ(c->Combo类型.selection(), 3);
    EXPECT_EQ(form_->loadedStructureName(), "sample_target.exe");
    EXPECT_TRUE(c->Command首次搜索.isEnabled());
    EXPECT_FALSE(c->Command再次搜索.isEnabled());

    // The current target again: the dialog closes and nothing is reloaded.
    c->Text结构.setText(L"20]");
    ASSERT_TRUE(dialog.create(window_));
    dialog.controls().ListV进程.selectOnly(rowOf(dialog.controls().ListV进程, sample_->pid()));
    ASSERT_TRUE(closesAfter(dialog, [&] { press(dialog.controls().Command打开进程); }));
    EXPECT_EQ(windowText(c->Text结构), L"20]");
}

TEST_F(DialogsTest, OpeningWithNoRowMarkedLeavesTheTargetAndItsSettings) {
    chooseSample();
    c->Text结构.setText(L"20]");
    ProcessListDialog& dialog = form_->processList();
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(dialog.create(window_));
        const ListView& list = dialog.controls().ListV进程;
        ASSERT_GT(list.itemCount(), 0);
        list.setSelectionMark(-1);
        ASSERT_EQ(list.selectionMark(), -1);
        // The button, then a double click on no row: neither chooses.
        if (round == 0)
            ASSERT_TRUE(closesAfter(dialog, [&] { press(dialog.controls().Command打开进程); }));
        else {
            RECT client{};
            GetClientRect(list, &client);
            const LPARAM empty = MAKELPARAM(client.right - 5, client.bottom - 5);
            ASSERT_TRUE(closesAfter(dialog, [&] { SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, empty); }));
        }
        EXPECT_EQ(form_->target().targetPid.load(), sample_->pid()) << "round " << round;
        EXPECT_EQ(windowText(c->Command选择进程), L"sample_target.exe") << "round " << round;
        EXPECT_EQ(windowText(c->Text结构), L"20]") << "round " << round;
    }
}

TEST_F(DialogsTest, ADoubleClickAnywhereInTheListChoosesAndATargetWithoutSettingsResetsTheWindow) {
    launchSample();
    c->Text结构.setText(L"20]");
    c->Combo类型.select(5);
    ProcessListDialog& dialog = form_->processList();
    ASSERT_TRUE(dialog.create(window_));
    const ListView& list = dialog.controls().ListV进程;
    list.selectOnly(rowOf(list, sample_->pid()));
    // Below the last row: no item there, the marked one is chosen.
    RECT client{};
    GetClientRect(list, &client);
    const LPARAM empty = MAKELPARAM(client.right - 5, client.bottom - 5);
    ASSERT_TRUE(closesAfter(dialog, [&] { SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, empty); }));
    EXPECT_EQ(form_->target().targetPid.load(), sample_->pid());
    EXPECT_EQ(windowText(c->Text结构), L"");
    EXPECT_EQ(c->Combo类型.selection(), 0);
    EXPECT_EQ(c->Combo过滤.selection(), 0);
}

TEST_F(DialogsTest, SavingAsksBeforeReplacingANameInAnyLetterCase) {
    chooseSample();
    writeSection(u"sample_target.ini", "Boss", "30]");
    const std::string before = fileBytes(u"sample_target.ini");
    c->Text结构.setText(L"110000000]8]");
    SettingsDialog& dialog = form_->saveDialog();
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);  // the load handler proposes the title and the name
    const SettingsDialogControls& d = dialog.controls();
    EXPECT_EQ(windowText(dialog.hwnd()), L"保存设置");
    EXPECT_EQ(d.Combo文件.currentText(), L"sample_target");
    EXPECT_EQ(d.Combo结构.currentText(), L"sample_target.exe");
    EXPECT_EQ(d.Combo结构.count(), 1);
    EXPECT_EQ(d.Combo文件.count(), 0) << "titles are listed only when dropped down";

    d.Combo结构.setText(L"boss");
    {
        MessageBoxCatcher catcher(IDNO);
        press(d.Command);
        EXPECT_EQ(catcher.text(), L"当前结构名字已经存在，是否替换当前设置...");
    }
    pump(50ms);
    EXPECT_TRUE(dialog.isOpen());
    EXPECT_EQ(fileBytes(u"sample_target.ini"), before);

    MessageBoxCatcher yes(IDYES);
    ASSERT_TRUE(closesAfter(dialog, [&] { press(d.Command); }));
    EXPECT_TRUE(yes.seen());
    EXPECT_EQ(readSettingsRecord(settingsFile(u"sample_target.ini"), "Boss").structureText, "110000000]8]");
}

TEST_F(DialogsTest, SavingIntoANewFileCreatesItWithOneSection) {
    chooseSample();
    c->Text结构.setText(L"110000000*8*8]0]");
    SettingsDialog& dialog = form_->saveDialog();
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    dialog.controls().Combo文件.setText(L"fresh");
    dialog.controls().Combo结构.setText(L"level 1");
    ASSERT_TRUE(closesAfter(dialog, [&] { press(dialog.controls().Command); }));
    EXPECT_EQ(listSectionNames(settingsFile(u"fresh.ini")), std::vector<std::string>{"level 1"});
    EXPECT_EQ(readSettingsRecord(settingsFile(u"fresh.ini"), "level 1").structureText, "110000000*8*8]0]");
    // Dropping the title list down empties the typed title and lists the files.
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    SendMessageW(dialog.controls().Combo文件, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(dialog.controls().Combo文件, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_GE(dialog.controls().Combo文件.findExact(L"fresh"), 0);
}

struct RefusalCase {
    const wchar_t* title;
    const wchar_t* name;
    std::wstring message;
};

TEST_F(DialogsTest, BlankFieldsAndTitlesThatNameNoFileAreRefusedInTheDialog) {
    SettingsDialog& dialog = form_->saveDialog();
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    // Nothing chosen, nothing loaded: both fields open empty.
    EXPECT_EQ(dialog.controls().Combo文件.currentText(), L"");
    EXPECT_EQ(dialog.controls().Combo结构.currentText(), L"");
    const RefusalCase cases[] = {
        {L"", L"n", L"请先输入设置保存文件名..."},
        {L"   ", L"n", L"请先输入设置保存文件名..."},
        {L"fresh", L" ", L"请先给结构取个名字..."},
        {L"..\\fresh", L"n", wide(fileTitleErrorMessage(FileTitleError::PathSeparator))},
        {L"CON", L"n", wide(fileTitleErrorMessage(FileTitleError::ReservedName))},
        {L"a?b", L"n", wide(fileTitleErrorMessage(FileTitleError::ForbiddenCharacter))},
    };
    for (const RefusalCase& refusal : cases) {
        dialog.controls().Combo文件.setText(refusal.title);
        dialog.controls().Combo结构.setText(refusal.name);
        MessageBoxCatcher catcher;
        press(dialog.controls().Command);
        EXPECT_EQ(catcher.text(), refusal.message) << refusal.title;
        pump(20ms);
        EXPECT_TRUE(dialog.isOpen()) << refusal.title;
    }
    // Nothing was written, in the folder or beside it.
    for (std::u16string_view name : {u"fresh.ini", u"..\\fresh.ini"})
        EXPECT_EQ(GetFileAttributesW(wide(settingsFile(name)).c_str()), INVALID_FILE_ATTRIBUTES)
            << std::string(narrow(wide(name)));
    ASSERT_TRUE(closesAfter(dialog, [&] { press(dialog.controls().Command取消); }));

    SettingsDialog& load = form_->loadDialog();
    ASSERT_TRUE(load.create(window_));
    pump(50ms);
    EXPECT_EQ(load.controls().Combo文件.selection(), -1);
    EXPECT_EQ(load.controls().Combo结构.count(), 0);
    MessageBoxCatcher catcher;
    press(load.controls().Command);
    EXPECT_EQ(catcher.text(), L"请先选择读取文件名...");
}

TEST_F(DialogsTest, LoadingSelectsTheTargetsFileAndFillsTheStructureListAtOnce) {
    writeSection(u"sample_target.ini", "first", "110000000*8*8]0]");
    writeSection(u"sample_target.ini", "second", "20]");
    writeSection(u"other.ini", "first", "30*2*4]");
    chooseSample();
    SettingsDialog& dialog = form_->loadDialog();
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    const SettingsDialogControls& d = dialog.controls();
    EXPECT_EQ(windowText(dialog.hwnd()), L"读取设置");
    EXPECT_EQ(d.Combo文件.currentText(), L"sample_target");
    EXPECT_EQ(d.Combo结构.currentText(), L"first");
    EXPECT_EQ(d.Combo结构.count(), 2);
    ASSERT_TRUE(closesAfter(dialog, [&] { press(d.Command); }));
    EXPECT_EQ(windowText(c->Text结构), L"110000000*8*8]0]");
    EXPECT_EQ(c->ListView结构.itemCount(), 2);
    EXPECT_EQ(c->ListView结构.itemText(0, 1), L"8");
    EXPECT_EQ(form_->loadedStructureName(), "first");

    // Another file without opening the name list: the old name is looked up there.
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    d.Combo结构.select(d.Combo结构.findExact(L"second"));
    d.Combo文件.select(d.Combo文件.findExact(L"other"));
    ASSERT_TRUE(closesAfter(dialog, [&] { press(d.Command); }));
    EXPECT_EQ(windowText(c->Text结构), L"");  // "second" is not in other.ini
    EXPECT_EQ(form_->loadedStructureName(), "second");

    // The save dialog proposes the name loaded last.
    SettingsDialog& save = form_->saveDialog();
    ASSERT_TRUE(save.create(window_));
    pump(50ms);
    EXPECT_EQ(save.controls().Combo结构.currentText(), L"second");
}

TEST_F(DialogsTest, ADialogClosedWhileItListsAFolderOfManyFilesIsLeftAlone) {
    // More entries than the listing takes before it starts to pump messages.
    constexpr int kFiles = 1500;
    static_assert(kFiles > static_cast<int>(kEntriesBeforeMessagePump));
    struct ManyFiles {
        std::vector<std::u16string> names;
        ~ManyFiles() {
            for (const auto& name : names) remove(name);
        }
    } many;
    for (int i = 0; i < kFiles; ++i) {
        const std::string number = std::to_string(i);
        many.names.push_back(u"many" + std::u16string(number.begin(), number.end()) + u".ini");
        std::ofstream empty{std::filesystem::path(settingsFile(many.names.back()))};
    }
    auto manyTitles = [](const ComboBox& box) {
        int count = 0;
        for (int i = 0; i < box.count(); ++i) count += box.itemText(i).starts_with(L"many") ? 1 : 0;
        return count;
    };

    // The load dialog lists the folder as it opens; the close is already
    // waiting behind the notice that starts the listing.
    SettingsDialog& load = form_->loadDialog();
    ASSERT_TRUE(load.create(window_));
    HWND loadWindow = load.hwnd();
    PostMessageW(loadWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !load.isOpen(); }, 20000ms));
    EXPECT_FALSE(IsWindow(loadWindow));

    // The save dialog lists it when its file list drops down.
    SettingsDialog& save = form_->saveDialog();
    ASSERT_TRUE(save.create(window_));
    pump(50ms);
    HWND saveWindow = save.hwnd();
    PostMessageW(saveWindow, WM_CLOSE, 0, 0);
    SendMessageW(saveWindow, WM_COMMAND, MAKEWPARAM(kIdSettingsFile, CBN_DROPDOWN),
                 reinterpret_cast<LPARAM>(save.controls().Combo文件.hwnd()));
    EXPECT_FALSE(save.isOpen()) << "the close was taken while the folder was listed";
    EXPECT_FALSE(IsWindow(saveWindow));
    // What the dialog's code may still do goes to no window.
    EXPECT_EQ(save.controls().Combo文件.hwnd(), nullptr);
    EXPECT_EQ(load.controls().Combo文件.hwnd(), nullptr);

    // Both open again as usual, each title listed once.
    ASSERT_TRUE(load.create(window_));
    ASSERT_TRUE(pumpUntil([&] { return manyTitles(load.controls().Combo文件) == kFiles; }, 20000ms))
        << manyTitles(load.controls().Combo文件);
    pump(50ms);
    EXPECT_EQ(manyTitles(load.controls().Combo文件), kFiles);
    ASSERT_TRUE(closesAfter(load, [&] { load.closeForm(); }));
    ASSERT_TRUE(save.create(window_));
    pump(50ms);
    SendMessageW(save.hwnd(), WM_COMMAND, MAKEWPARAM(kIdSettingsFile, CBN_DROPDOWN),
                 reinterpret_cast<LPARAM>(save.controls().Combo文件.hwnd()));
    EXPECT_EQ(manyTitles(save.controls().Combo文件), kFiles);
}

TEST_F(DialogsTest, TheRecordsHeldStayFlatOverFiveHundredOpeningsOfTheProcessList) {
    ProcessListDialog& dialog = form_->processList();
    const std::size_t closed = liveControlRecords();
    std::size_t open = 0;
    for (int round = 0; round < 500; ++round) {
        ASSERT_TRUE(dialog.create(window_)) << "round " << round;
        // The form's own record and one for each of its three controls.
        if (round == 0) open = liveControlRecords();
        ASSERT_EQ(open, closed + 4) << "round " << round;
        ASSERT_EQ(liveControlRecords(), open) << "round " << round;
        // Each control still finds its own record.
        ASSERT_EQ(Form::recordOf(dialog.controls().ListV进程)->id, kIdListV进程) << "round " << round;
        // The first time shown and loaded; then closed at once, as a window
        // on screen takes Wine seconds to go.
        if (round == 0)
            ASSERT_TRUE(closesAfter(dialog, [&] { dialog.closeForm(); }));
        else
            SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
        ASSERT_FALSE(dialog.isOpen()) << "round " << round;
        ASSERT_EQ(liveControlRecords(), closed) << "round " << round;
    }
    EXPECT_EQ(Form::recordOf(dialog.controls().ListV进程), nullptr) << "a closed control has no record";
}

TEST_F(DialogsTest, NoGdiObjectOutlivesTenOpeningsOfEachDialog) {
    launchSample();
    ModalDialog* dialogs[] = {&form_->processList(), &form_->saveDialog(), &form_->loadDialog()};
    for (ModalDialog* dialog : dialogs) {
        std::size_t seen = 0;
        // Each round checks every object it saw freed, so a leak shows in the
        // first; more rounds only catch one that depends on what came before.
        for (int round = 0; round < 10; ++round) {
            ASSERT_TRUE(dialog->create(window_));
            // The controls paint into a memory DC and ask the form for their
            // colours, as they do on screen (a hidden dialog is quick to go).
            printControls(dialog->hwnd());
            const std::vector<HGDIOBJ> held = dialog->heldGdiObjects();
            seen += held.size();
            for (HGDIOBJ object : held) ASSERT_NE(GetObjectType(object), 0u);
            ASSERT_TRUE(closesAfter(*dialog, [&] { dialog->closeForm(); }));
            for (HGDIOBJ object : held)
                ASSERT_EQ(GetObjectType(object), 0u) << windowText(dialog->hwnd()) << " round " << round;
            EXPECT_TRUE(dialog->heldGdiObjects().empty());
        }
        EXPECT_GE(seen, 10u) << "the dialog's controls made no brushes, so nothing was checked";
    }
}

}  // namespace
}  // namespace corvane
