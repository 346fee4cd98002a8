#include <gtest/gtest.h>

#include "settings/settings_dialog_logic.h"

namespace corvane {
namespace {

struct SaveCase {
    const char* title;
    const char* name;
    bool listed;
    DialogStep step;
    FileTitleError error;
};

TEST(SettingsDialogs, SavingChecksTheTitleThenTheNameThenAsksBeforeReplacing) {
    const SaveCase cases[] = {
        {"", "boss", false, DialogStep::AskFileTitle, FileTitleError::None},
        {"   ", "boss", true, DialogStep::AskFileTitle, FileTitleError::None},
        // A refused title is said before a blank name.
        {"..\\game", "", false, DialogStep::RefuseFileTitle, FileTitleError::PathSeparator},
        {"CON", "boss", false, DialogStep::RefuseFileTitle, FileTitleError::ReservedName},
        {"game.", "boss", false, DialogStep::RefuseFileTitle, FileTitleError::TrailingDotOrSpace},
        {"game", " ", false, DialogStep::AskName, FileTitleError::None},
        {"game", "boss", true, DialogStep::AskReplace, FileTitleError::None},
        {"g", "boss", false, DialogStep::Proceed, FileTitleError::None},
    };
    for (const SaveCase& c : cases) {
        const DialogDecision decision = decideSave(c.title, c.name, c.listed);
        EXPECT_EQ(decision.step, c.step) << '"' << c.title << "\" / \"" << c.name << '"';
        EXPECT_EQ(decision.titleError, c.error) << '"' << c.title << '"';
    }
}

TEST(SettingsDialogs, LoadingNeverAsksToReplace) {
    EXPECT_EQ(decideLoad("", "x").step, DialogStep::AskFileTitle);
    EXPECT_EQ(decideLoad("game", "").step, DialogStep::AskName);
    EXPECT_EQ(decideLoad("a/b", "x").step, DialogStep::RefuseFileTitle);
    EXPECT_EQ(decideLoad("Config", "game.exe").step, DialogStep::Proceed);
}

}  // namespace
}  // namespace corvane
