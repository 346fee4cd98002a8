#include "tools/cli/monitor_changes.h"

#include <algorithm>
#include <ostream>
#include <string>

#include "engine/files/result_lines.h"
#include "engine/text/utf8_encode.h"

namespace corvane {
namespace {

// Rows taken from the store at a time, and lines handed to the stream in
// blocks of about this many bytes.
constexpr std::size_t kBatch = 4096;
constexpr std::size_t kBlock = 1 << 20;

// Listed alike: a number read again in the same kind and base compares by
// its bytes; anything else (the file's texts against the numbers of the
// first cycle) by the text the list shows.
bool sameListing(const StoredValue& a, const StoredValue& b) {
    if (a.form() == StoredValue::Form::Number && a.kindKey() == b.kindKey()) return a.raw() == b.raw();
    return a.text() == b.text();
}

}  // namespace

ChangedRows::ChangedRows(const ResultStore& results, const TextCodec& codec) : results_(results), codec_(codec) {
    forEachRow([this](std::size_t, ResultSnapshot& row) { kept_.push_back({row.address, std::move(row.value)}); });
}

template <typename Visit>
void ChangedRows::forEachRow(Visit visit) {
    bool fromStart = true;
    std::uint32_t last = 0;
    std::size_t position = 0;
    for (;;) {
        const std::size_t taken = results_.snapshot(fromStart, last, kBatch, batch_);
        for (std::size_t i = 0; i < taken; ++i) visit(position++, batch_[i]);
        if (taken == 0) return;
        fromStart = false;
        last = batch_[taken - 1].serial;
    }
}

void ChangedRows::write(std::ostream& out, std::uint32_t milliseconds, const UnreadRows* unread) {
    const auto paths = results_.paths();
    if (!paths) return;
    const std::string time = std::to_string(milliseconds) + "\t";
    LineFormatter lines(*paths, codec_);
    std::vector<char> text;
    std::size_t used = 0;
    std::size_t nextUnread = 0;
    forEachRow([&](std::size_t position, ResultSnapshot& row) {
        // A monitor adds and drops no row: positions stay what they were.
        if (position >= kept_.size()) return;
        Kept& kept = kept_[position];
        // Both go in store order.
        const bool lost =
            unread != nullptr && nextUnread < unread->serials.size() && unread->serials[nextUnread] == row.serial;
        if (lost) ++nextUnread;
        const bool wasUnread = kept.unread;
        if (lost && wasUnread) return;
        kept.unread = lost;
        if (lost) {
            std::string path;
            paths->appendPathText(row.parent, row.leafOffset, path);
            std::u16string wide;
            const std::string line =
                time + (codec_.toUtf16(path, CodePage::Gbk, wide) ? encodeUtf8(wide) : path) + "\t\t\n";
            if (text.size() < used + line.size()) text.resize(used + line.size());
            std::copy(line.begin(), line.end(), text.begin() + static_cast<std::ptrdiff_t>(used));
            used += line.size();
            return;
        }
        if (!wasUnread && kept.address == row.address && sameListing(kept.value, row.value)) return;
        lines.format(&row, 1, text, used, time);
        if (used >= kBlock) {
            out.write(text.data(), static_cast<std::streamsize>(used));
            used = 0;
        }
        kept.address = row.address;
        kept.value = std::move(row.value);
    });
    out.write(text.data(), static_cast<std::streamsize>(used));
}

}  // namespace corvane
