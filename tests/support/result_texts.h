#pragma once

#include <string>
#include <vector>

#include "engine/search/result_store.h"

namespace corvane::test {

// The value texts of every listed result, in list order.
inline std::vector<std::string> valueTexts(const ResultStore& results) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < results.count(); ++i) texts.push_back(results.valueText(i));
    return texts;
}

}  // namespace corvane::test
