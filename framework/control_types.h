#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The system window class for a control-type name of the forms ("BUTTON",
// "TEXTBOX", "LISTVIEW", ...), compared without regard to case. A name the
// table does not know is the class name itself.
std::wstring systemClassFor(std::wstring_view typeName);

}  // namespace corvane
