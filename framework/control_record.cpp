#include "framework/control_record.h"

#include <atomic>

namespace corvane {
namespace {

std::atomic<std::size_t> liveRecords{0};

}  // namespace

RecordCounter::RecordCounter() { ++liveRecords; }
RecordCounter::RecordCounter(const RecordCounter&) { ++liveRecords; }
RecordCounter::~RecordCounter() { --liveRecords; }

std::size_t liveControlRecords() { return liveRecords; }

}  // namespace corvane
