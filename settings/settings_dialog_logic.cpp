#include "settings/settings_dialog_logic.h"

namespace corvane {
namespace {

// The blank checks come first, each with its own message; a title that is
// not blank but cannot be a file name is refused before anything is asked.
DialogDecision checkFields(std::string_view fileTitle, std::string_view name) {
    if (isBlank(fileTitle)) return {DialogStep::AskFileTitle};
    if (const FileTitleError error = checkFileTitle(fileTitle); error != FileTitleError::None)
        return {DialogStep::RefuseFileTitle, error};
    if (isBlank(name)) return {DialogStep::AskName};
    return {DialogStep::Proceed};
}

}  // namespace

DialogDecision decideSave(std::string_view fileTitle, std::string_view name, bool nameListed) {
    const DialogDecision fields = checkFields(fileTitle, name);
    if (fields.step != DialogStep::Proceed) return fields;
    return {nameListed ? DialogStep::AskReplace : DialogStep::Proceed};
}

DialogDecision decideLoad(std::string_view fileTitle, std::string_view name) { return checkFields(fileTitle, name); }

}  // namespace corvane
