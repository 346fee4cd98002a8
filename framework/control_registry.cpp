#include "framework/control_registry.h"

namespace corvane {

void ControlRegistry::add(HWND window, ControlRecord* record) {
    for (auto& block : blocks_)
        for (Pair& pair : *block)
            if (pair.window == window) {
                pair.record = record;
                return;
            }
    if (blocks_.empty() || usedInLast_ == kBlock) {
        blocks_.push_back(std::make_unique<std::array<Pair, kBlock>>());
        usedInLast_ = 0;
    }
    (*blocks_.back())[usedInLast_++] = {window, record};
}

void ControlRegistry::remove(HWND window) {
    for (auto& block : blocks_)
        for (Pair& pair : *block)
            if (pair.window == window) {
                pair = {};
                return;
            }
}

ControlRecord* ControlRegistry::find(HWND window) const {
    if (window == nullptr) return nullptr;
    for (const auto& block : blocks_)
        for (const Pair& pair : *block)
            if (pair.window == window) return pair.record;
    return nullptr;
}

ControlRegistry& controlRegistry() {
    static ControlRegistry registry;
    return registry;
}

}  // namespace corvane
