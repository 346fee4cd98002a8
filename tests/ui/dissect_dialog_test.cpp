// 结构分析 over the real main window, looking into this test's own process
// where the dissection test program's objects are laid out: opened from a
// found row, its fields typed, a pointer followed and back, the other rows
// compared by groups, a field's structure made for 首次搜索, and a change
// marked and faded on an injected clock. Also the view's decisions on their own.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "framework/window_text.h"
#include "tests/tools/dissect_sample.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_layout.h"
#include "ui/dissect_dialog_logic.h"

namespace corvane {
namespace {

std::string hex(std::uint64_t value) {
    std::string text;
    appendHex(text, value);
    return text;
}

TEST(DissectDialogLogic, BoxesAndMenusToDecisions) {
    const struct {
        const char* start;
        const char* size;
        bool refused;
        std::int64_t startValue;
        std::int64_t sizeValue;
    } ranges[] = {
        {"0", "100", false, 0, 0x100}, {"-40", "10000", false, -0x40, 0x10000},
        {"x", "100", true, 0, 0},      {"0", "0", true, 0, 0},
        {"0", "10001", true, 0, 0},    {"0", "", true, 0, 0},
    };
    for (const auto& r : ranges) {
        const DissectRange range = dissectRange(r.start, r.size);
        EXPECT_EQ(range.refusal != nullptr, r.refused) << r.start << " " << r.size;
        if (r.refused) continue;
        EXPECT_EQ(range.start, r.startValue);
        EXPECT_EQ(range.size, r.sizeValue);
    }
    EXPECT_EQ(instanceAddresses("1A0, 2B0,3C0"), (std::vector<std::uint64_t>{0x1A0, 0x2B0, 0x3C0}));
    EXPECT_EQ(instanceAddresses(""), std::vector<std::uint64_t>{});
    EXPECT_FALSE(instanceAddresses("1A0,xyz"));
    EXPECT_EQ(groupsOf(L"AbX", 4), (std::vector<Group>{Group::A, Group::B, Group::None, Group::None}));
    EXPECT_EQ(addressRefusal(PathProblem::None), nullptr);
    EXPECT_NE(addressRefusal(PathProblem::ManyLeaves), addressRefusal(PathProblem::Malformed));
    EXPECT_EQ(changeMarkColour(0), RGB(255, 255, 255));
    EXPECT_EQ(changeMarkColour(1), RGB(255, 255, 95));
    EXPECT_EQ(kindOfMenuCommand(kKindMenuFirst + 4), FieldKind::Float);
    EXPECT_EQ(kindOfMenuCommand(kKindMenuGuess), std::nullopt);
}

// The objects, in this process's own memory.
struct OwnMemory {
    std::uint64_t allocate(std::size_t bytes) { return reinterpret_cast<std::uintptr_t>(std::calloc(1, bytes)); }
    void write(std::uint64_t address, const void* data, std::size_t size) {
        std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), data, size);
    }
};

sample::World world;

class DissectDialogTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (window_ == nullptr) return;
        OwnMemory memory;
        built_ = sample::build(memory, reinterpret_cast<std::uintptr_t>(&world));
    }
    void TearDown() override {
        if (form_ && form_->dissectDialog().isOpen()) DestroyWindow(form_->dissectDialog().hwnd());
        MainWindowTest::TearDown();
    }
    std::uint64_t entity(std::size_t i) const { return built_.entities + i * sizeof(sample::Entity); }
    sample::Entity& entityObject(std::size_t i) const {
        return *reinterpret_cast<sample::Entity*>(static_cast<std::uintptr_t>(entity(i)));
    }
    // The row of a field at `offset` while every field is shown.
    static int rowOf(std::uint32_t offset) { return static_cast<int>(offset / 8); }

    sample::World built_{};
    std::uint64_t now_ = 1000;
};

TEST_F(DissectDialogTest, FromAFoundRowToTypedFieldsComparisonAndAStructure) {
    form_->chooseProcess(GetCurrentProcessId());
    select(c->Combo类型, 2);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    // The entities, found through the world's pointer to them.
    const std::string entities = hex(reinterpret_cast<std::uintptr_t>(&world) + 0x10);
    type(c->Text结构, widen(entities + "]0*8*96]"));
    leave(c->Text结构);
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    ASSERT_EQ(itemCount(c->ListView1), 8);

    wchar_t item[64] = {};
    GetMenuStringW(form_->popupMenu结果(), kIdMenuDissect, item, 64, MF_BYCOMMAND);
    EXPECT_STREQ(item, L"结构分析…");
    c->ListView1.selectOnly(0);
    ASSERT_TRUE(form_->prepareDissect());
    DissectDialog& dialog = form_->dissectDialog();
    dialog.setClock([this] { return now_; });
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    const DissectDialogControls& d = dialog.controls();
    EXPECT_EQ(windowText(dialog.hwnd()), L"结构分析");
    EXPECT_EQ(windowText(d.Text结构地址), widen(entities + "]0"));
    EXPECT_EQ(dialog.view().base(), entity(0));
    ASSERT_EQ(d.ListV字段.itemCount(), 0x100 / 8);
    // Its neighbours typed: the shared pointer into the world, the name, health, x and y.
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x00), kKindColumn), L"pointer");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x08), kKindColumn), L"pointer");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x10), kKindColumn), L"double");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x18), kKindColumn), L"float/float");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x40), kFirstValueColumn), L"0.25");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x10), kOffsetColumn), L"10");

    // Followed into the name text and back.
    ASSERT_TRUE(dialog.follow(rowOf(0x08)));
    EXPECT_EQ(windowText(d.Label路径).substr(0, 7), L"base]8]");
    EXPECT_EQ(d.ListV字段.itemText(0, kKindColumn), L"utf8");
    EXPECT_TRUE(d.Command返回.isEnabled());
    SendMessageW(d.Command返回, BM_CLICK, 0, 0);
    pump(20ms);
    EXPECT_EQ(dialog.view().base(), entity(0));
    EXPECT_FALSE(d.Command返回.isEnabled());

    // The other rows of the list compared, foes in group B.
    for (int row = 0; row < 8; ++row) c->ListView1.setItemState(row, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(d.Command添加标记行, BM_CLICK, 0, 0);
    ASSERT_EQ(dialog.view().instances().size(), sample::kEntities);
    std::wstring groups;
    for (bool foe : sample::kFoe) groups += foe ? L'B' : L'A';
    SetWindowTextW(d.Text分组, groups.c_str());
    SendMessageW(d.Check筛选, BM_CLICK, 0, 0);
    pump(20ms);
    ASSERT_EQ(d.ListV字段.itemCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(d.ListV字段.itemText(row, kOffsetColumn), widen(hex(sample::kFoeFields[row])));
    EXPECT_EQ(d.ListV字段.itemText(2, kFirstValueColumn + 2), L"0.75");
    EXPECT_EQ(d.ListV字段.itemText(2, kFirstValueColumn + static_cast<int>(sample::kEntities)), L"不同");

    // A change is marked at once and gone 3.5 s later.
    SendMessageW(d.Check筛选, BM_CLICK, 0, 0);
    pump(20ms);
    ASSERT_EQ(d.ListV字段.itemCount(), 0x100 / 8);
    entityObject(0).score += 1;
    dialog.refreshNow();
    EXPECT_EQ(dialog.rowMark(rowOf(0x20), 0), 1.0);
    EXPECT_EQ(dialog.rowMark(rowOf(0x20), 1), 0.0);
    EXPECT_EQ(dialog.rowMark(rowOf(0x10), 0), 0.0);
    now_ += 3500;
    EXPECT_EQ(dialog.rowMark(rowOf(0x20), 0), 0.0);

    // A field's kind set by hand shows at once.
    dialog.chooseKind(rowOf(0x28), FieldKind::Double);
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x28), kKindColumn), L"double");
    dialog.chooseKind(rowOf(0x28), std::nullopt);
    EXPECT_EQ(d.ListV字段.itemText(rowOf(0x28), kKindColumn), L"int64");

    // 生成结构 on aggression: the row over the eight, as a double, and
    // 首次搜索 finds the three foes' 0.75.
    d.ListV字段.selectOnly(rowOf(0x40));
    SendMessageW(d.Command生成结构, BM_CLICK, 0, 0);
    EXPECT_EQ(windowText(c->Text结构), widen(entities + "]40*8*96]"));
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    EXPECT_EQ(c->Combo类型.selection(), static_cast<int>(ValueType::Double));
    DestroyWindow(dialog.hwnd());
    select(c->Combo进制, 1);  // 绝对匹配: floored, 0.25 and 0.75 are both 0
    select(c->Combo过滤, static_cast<int>(SearchCondition::Equal));
    type(c->Text数值1, L"0.75");
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    ASSERT_EQ(itemCount(c->ListView1), 3);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(cell(c->ListView1, row, 1), L"0.75");
}

// As a newcomer meets it: a value of the sample target found, its
// neighbours typed, a pointer followed, two of its objects compared, and a
// structure made that 首次搜索 uses.
TEST_F(DissectDialogTest, ANewcomerDissectsAFoundValueOfTheSampleTarget) {
    startSample();
    const sample::Places& places = sample::kPlaces64;
    type(c->Text结构, widen(hex(places.root) + "*8*8]0]"));
    leave(c->Text结构);
    select(c->Combo过滤, static_cast<int>(SearchCondition::Equal));
    type(c->Text数值1, L"1000");
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    ASSERT_EQ(itemCount(c->ListView1), 1);
    c->ListView1.selectOnly(0);
    ASSERT_TRUE(form_->prepareDissect());
    DissectDialog& dialog = form_->dissectDialog();
    ASSERT_TRUE(dialog.create(window_));
    pump(50ms);
    const DissectDialogControls& d = dialog.controls();
    EXPECT_EQ(dialog.view().base(), places.objects[0]);
    const auto kind = [&](std::uint32_t offset) { return d.ListV字段.itemText(rowOf(offset), kKindColumn); };
    const auto value = [&](std::uint32_t offset) { return d.ListV字段.itemText(rowOf(offset), kFirstValueColumn); };
    EXPECT_EQ(kind(sample::kIdOffset), L"int32/int32");
    EXPECT_EQ(value(sample::kIdOffset), L"1000 / -5");
    EXPECT_EQ(kind(sample::kDataPointerOffset), L"pointer");
    EXPECT_EQ(kind(sample::kDoubleOffset), L"double");
    EXPECT_EQ(value(sample::kDoubleOffset), L"0.1");
    EXPECT_EQ(kind(sample::kAnsiOffset), L"gbk");
    EXPECT_EQ(kind(sample::kUtf16Offset), L"utf16");
    EXPECT_EQ(kind(sample::kUtf8Offset), L"utf8");

    ASSERT_TRUE(dialog.follow(rowOf(sample::kDataPointerOffset)));
    EXPECT_EQ(windowText(d.Label路径).substr(0, 7), L"base]8]");
    EXPECT_EQ(d.ListV字段.itemText(0, kFirstValueColumn),
              std::to_wstring(sample::dataValue(0, 0)) + L" / " + std::to_wstring(sample::dataValue(0, 1)));
    SendMessageW(d.Command返回, BM_CLICK, 0, 0);
    pump(20ms);

    SetWindowTextW(d.Text实例, widen(hex(places.objects[1])).c_str());
    SendMessageW(d.Command添加实例, BM_CLICK, 0, 0);
    ASSERT_EQ(dialog.view().instances().size(), 2u);
    EXPECT_EQ(value(sample::kIdOffset), L"1000 / -5");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(sample::kIdOffset), kFirstValueColumn + 1), L"1001 / -5");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(sample::kIdOffset), kFirstValueColumn + 2), L"不同");
    EXPECT_EQ(d.ListV字段.itemText(rowOf(sample::kDoubleOffset), kFirstValueColumn + 2), L"");

    d.ListV字段.selectOnly(rowOf(sample::kDoubleOffset));
    SendMessageW(d.Command生成结构, BM_CLICK, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    DestroyWindow(dialog.hwnd());
    EXPECT_EQ(c->Combo类型.selection(), static_cast<int>(ValueType::Double));
    select(c->Combo进制, 1);
    type(c->Text数值1, L"0.1");
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    ASSERT_EQ(itemCount(c->ListView1), 2) << narrow(windowText(c->Text结构));
    EXPECT_EQ(cell(c->ListView1, 1, 2), widen(hex(places.objects[1] + sample::kDoubleOffset)));
}

}  // namespace
}  // namespace corvane
