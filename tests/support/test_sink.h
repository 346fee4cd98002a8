#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "engine/search/search_sink.h"

namespace corvane::test {

// Stands in for the window: hands out settings and records what the workers report.
class TestSink : public SearchSink {
public:
    SearchSettings captureSettings() override {
        std::lock_guard lock(mutex_);
        return settings;
    }
    ValueType currentType() override {
        std::lock_guard lock(mutex_);
        return settings.type;
    }
    void publishCount(std::size_t count) override {
        std::lock_guard lock(mutex_);
        counts.push_back(count);
    }
    void setStatusText(StatusField field, const std::string& text) override {
        std::lock_guard lock(mutex_);
        status[field] = text;
    }
    void firstSearchEnded(const FirstSearchReport& report) override {
        std::lock_guard lock(mutex_);
        reports.push_back(report);
    }
    void reformatEnded() override {
        std::lock_guard lock(mutex_);
        ++reformats;
    }

    void set(SearchSettings next) {
        std::lock_guard lock(mutex_);
        settings = std::move(next);
    }
    std::size_t publishedCount() {
        std::lock_guard lock(mutex_);
        return counts.size();
    }
    std::string statusText(StatusField field) {
        std::lock_guard lock(mutex_);
        return status[field];
    }

    SearchSettings settings;
    std::vector<std::size_t> counts;
    std::map<StatusField, std::string> status;
    std::vector<FirstSearchReport> reports;
    int reformats = 0;

private:
    std::mutex mutex_;
};

}  // namespace corvane::test
