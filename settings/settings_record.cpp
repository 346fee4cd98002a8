#include "settings/settings_record.h"

#include <climits>
#include <cmath>

#include "engine/values/search_value.h"
#include "engine/values/value_parse.h"
#include "settings/profile.h"

namespace corvane {

std::string indexText(int index) { return std::to_string(index); }

int indexFromText(std::string_view text) {
    const double rounded = roundHalfToEven(parseValueText(text));
    if (!std::isfinite(rounded) || rounded < static_cast<double>(INT_MIN) || rounded > static_cast<double>(INT_MAX)) {
        return -1;
    }
    return static_cast<int>(rounded);
}

bool writeSettingsRecord(std::u16string_view file, std::string_view section, const SettingsRecord& record) {
    bool ok = profileWriteString(file, section, kStructureKey, record.structureText);
    ok = profileWriteString(file, section, kTypeKey, record.typeIndex) && ok;
    ok = profileWriteString(file, section, kBaseKey, record.baseIndex) && ok;
    ok = profileWriteString(file, section, kConditionKey, record.conditionIndex) && ok;
    ok = profileWriteString(file, section, kValue1Key, record.value1) && ok;
    ok = profileWriteString(file, section, kValue2Key, record.value2) && ok;
    return ok;
}

SettingsRecord readSettingsRecord(std::u16string_view file, std::string_view section) {
    SettingsRecord record;
    record.structureText = profileReadString(file, section, kStructureKey, "");
    record.typeIndex = profileReadString(file, section, kTypeKey, "");
    record.baseIndex = profileReadString(file, section, kBaseKey, "");
    record.conditionIndex = profileReadString(file, section, kConditionKey, "");
    record.value1 = profileReadString(file, section, kValue1Key, "");
    record.value2 = profileReadString(file, section, kValue2Key, "");
    return record;
}

}  // namespace corvane
