#include "framework/control_types.h"

#include "engine/text/ascii_case.h"

namespace corvane {
namespace {

struct TypeEntry {
    const wchar_t* names;  // "|"-separated
    const wchar_t* systemClass;
};

constexpr TypeEntry kControlTypeTable[] = {
    {L"BUTTON|CUSTOMBUTTON|OWNERDRAWBUTTON|RADIOBUTTON|OPTION|CHECKBOX|CHECK3STATE|BITMAPBUTTON|ICONBUTTON|GROUPBOX",
     L"Button"},
    {L"LABEL|BITMAPLABEL|ICONLABEL|CUSTOMLABEL|FRAME|FRAMEWINDOW|LINE", L"Static"},
    {L"EDIT|TEXTBOX|EDITMULTILINE|MULTILINETEXTBOX", L"Edit"},
    {L"COMBOBOX", L"ComboBox"},
    {L"COMBOBOXEX|COMBOBOXEX32", L"ComboBoxEx32"},
    {L"LISTBOX", L"ListBox"},
    {L"PROGRESSBAR|MSCTLS_PROGRESS32", L"msctls_progress32"},
    {L"HEADER|SYSHEADER32", L"SysHeader32"},
    {L"TREEVIEW|SYSTREEVIEW32", L"SysTreeView32"},
    {L"LISTVIEW|SYSLISTVIEW32", L"SysListView32"},
    {L"TOOLBAR|TOOLBARWINDOW32", L"ToolbarWindow32"},
    {L"REBAR|REBARWINDOW32", L"ReBarWindow32"},
    {L"DATETIMEPICKER|SYSDATETIMEPICK32", L"SysDateTimePick32"},
    {L"MONTHCALENDAR|MONTHCAL|SYSMONTHCAL32", L"SysMonthCal32"},
    {L"IPADDRESS|SYSIPADDRESS32", L"SysIPAddress32"},
    {L"HOTKEY|MSCTLS_HOTKEY32", L"msctls_hotkey32"},
    {L"ANIMATE|ANIMATION|SYSANIMATE32", L"SysAnimate32"},
    {L"PAGER|SYSPAGER", L"SysPager"},
    {L"TAB|TABCONTROL|SYSTABCONTROL32", L"SysTabControl32"},
    {L"STATUSBAR|MSCTLS_STATUSBAR32", L"msctls_statusbar32"},
    {L"SIZEBAR|SIZEBOX|SIZEGRIP|HSCROLLBAR|VSCROLLBAR", L"Scrollbar"},
    {L"TRACKBAR|MSCTLS_TRACKBAR32|SLIDER", L"msctls_trackbar32"},
    {L"UPDOWN|MSCTLS_UPDOWN32", L"msctls_updown32"},
    {L"RICHEDIT|RICHEDIT50W", L"RichEdit50W"},
};

}  // namespace

std::wstring systemClassFor(std::wstring_view typeName) {
    for (const TypeEntry& entry : kControlTypeTable) {
        std::wstring_view names = entry.names;
        for (;;) {
            const std::size_t bar = names.find(L'|');
            if (equalIgnoringAsciiCase(names.substr(0, bar), typeName)) return entry.systemClass;
            if (bar == std::wstring_view::npos) break;
            names.remove_prefix(bar + 1);
        }
    }
    return std::wstring(typeName);
}

}  // namespace corvane
