#include "tools/cli/cli_settings.h"

#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"
#include "settings/file_system.h"
#include "settings/profile.h"
#include "settings/settings_record.h"
#include "settings/structure_text.h"
#include "tools/cli/input_checks.h"

namespace corvane {
namespace {

// File names arrive as code page 936 texts; the settings module takes UTF-16 paths.
std::u16string pathFromText(const std::string& text) {
    std::u16string wide;
    if (!systemTextCodec().toUtf16(text, CodePage::Gbk, wide)) return decodeUtf8Text(text);
    return wide;
}

}  // namespace

std::string resolveCliSettings(const CliOptions& options, CliSettings& settings) {
    std::string structure;
    int type = 2;
    int base = 0;
    int condition = 0;
    if (!options.settingsFile.empty()) {
        const std::u16string file = pathFromText(options.settingsFile);
        if (!readFileBytes(file)) return "cannot read " + options.settingsFile;
        // A missing section would read as the defaults without a word.
        if (!profileHasSection(file, options.settingsName))
            return options.settingsFile + " holds no section named " + options.settingsName;
        const SettingsRecord record = readSettingsRecord(file, options.settingsName);
        structure = record.structureText;
        type = indexFromText(record.typeIndex);
        base = indexFromText(record.baseIndex);
        condition = indexFromText(record.conditionIndex);
        settings.search.value1 = record.value1;
        settings.search.value2 = record.value2;
    }
    if (options.structure) structure = *options.structure;
    if (options.type) type = *options.type;
    if (options.base) base = *options.base;
    if (options.condition) condition = *options.condition;
    if (options.value1) settings.search.value1 = *options.value1;
    if (options.value2) settings.search.value2 = *options.value2;

    if (type < 0 || type > 8) return "the value type must be 0 to 8";
    if (condition < 0 || condition > 10) return "the condition must be 0 to 10";
    settings.search.type = static_cast<ValueType>(type);
    // The text types have no base; the integer and float types have two.
    if (isTextType(settings.search.type))
        base = -1;
    else if (base < 0 || base > 1)
        return "the base must be 0 or 1 for this value type";
    settings.search.baseMode = static_cast<std::uint8_t>(base < 0 ? kNoBaseMode : base);
    settings.search.condition = static_cast<SearchCondition>(condition);
    if (options.command == "first" || options.command == "next") {
        if (std::string problem = searchValuesProblem(settings.search); !problem.empty()) return problem;
    }
    if (options.command == "first") {
        if (structure.empty()) return "the structure is empty";
        const std::vector<StructureRowText> texts = parseStructureText(structure);
        if (std::string problem = structureCellsProblem(texts); !problem.empty()) return problem;
        Structure rows;
        switch (structureFromTexts(texts, rows)) {
            case StructureProblem::None: break;
            case StructureProblem::BadModule:
                return "the first start offset must be MODULE+HEX, with a module name holding no \"]\", \"*\" "
                       "or \"+\"";
            case StructureProblem::ModuleInLaterRow: return "only the first row may start at a module";
            case StructureProblem::MemoryInLaterRow: return "only the first row may start at memory";
        }
        settings.rows = std::move(rows.rows);
        settings.module = std::move(rows.module);
        settings.memory = rows.memory;
    }
    return "";
}

}  // namespace corvane
