#pragma once

#include <windows.h>
#include <commctrl.h>

#include <span>

namespace corvane {

// A form declares which handler a control's command or notification reaches
// in a table of these; one route per (control id, notification code).
template <class FormType>
struct CommandRoute {
    int id;
    int code;  // BN_CLICKED, EN_CHANGE, CBN_SELCHANGE, ...
    void (FormType::*handler)();
};

template <class FormType>
struct NotifyRoute {
    UINT_PTR id;
    UINT code;  // LVN_COLUMNCLICK, NM_DBLCLK, ...
    LRESULT (FormType::*handler)(NMHDR& header);
};

// Runs the handler routed to (id, code); false when there is none.
template <class FormType>
bool routeCommand(FormType& form, std::span<const CommandRoute<FormType>> routes, int id, int code) {
    for (const auto& route : routes)
        if (route.id == id && route.code == code) {
            (form.*route.handler)();
            return true;
        }
    return false;
}

template <class FormType>
bool routeNotify(FormType& form, std::span<const NotifyRoute<FormType>> routes, NMHDR& header, LRESULT& result) {
    for (const auto& route : routes)
        if (route.id == header.idFrom && route.code == header.code) {
            result = (form.*route.handler)(header);
            return true;
        }
    return false;
}

}  // namespace corvane
