#pragma once

#include <string_view>

#include "settings/settings_paths.h"

namespace corvane {

// What the save and load dialogs do when their button is pressed, decided
// from the two fields alone, so the rules hold whatever window shows them.
enum class DialogStep : unsigned char {
    AskFileTitle,     // the file field is blank: say so, focus it
    RefuseFileTitle,  // the file title cannot name a settings file
    AskName,          // the name field is blank: say so, focus it
    AskReplace,       // saving over a listed name: ask first
    Proceed,          // write or read the section, then close
};

struct DialogDecision {
    DialogStep step;
    FileTitleError titleError = FileTitleError::None;
};

// `nameListed`: the name list holds the typed name (without regard to case).
DialogDecision decideSave(std::string_view fileTitle, std::string_view name, bool nameListed);
DialogDecision decideLoad(std::string_view fileTitle, std::string_view name);

}  // namespace corvane
