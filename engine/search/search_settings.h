#pragma once

#include <cstdint>
#include <string>

#include "engine/values/value_type.h"

namespace corvane {

// The selections and value fields a pass works with, captured when it starts.
struct SearchSettings {
    ValueType type = ValueType::Long;
    std::uint8_t baseMode = 0;
    SearchCondition condition = SearchCondition::None;
    std::string value1;
    std::string value2;
};

// Status bar fields the passes write, by part index.
enum class StatusField : int {
    TraversalTotal = 1,  // after "遍历总数："
    ValidData = 3,       // after "有效数据："
    SearchTime = 5,      // after "搜索耗时："
};

}  // namespace corvane
