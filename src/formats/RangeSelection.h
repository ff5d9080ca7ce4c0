#pragma once

#include <QString>
#include <optional>

namespace kl516 {

// The points or rows first .. last (1-based, inclusive) chosen for a save.
struct SelectedRange {
    qint64 first = 1;
    qint64 last = 0;
    qint64 size() const { return last - first + 1; }
    bool operator==(const SelectedRange&) const = default;
};

struct RangeChoice {
    std::optional<SelectedRange> range;  // none: nothing to save
    bool invalidInteger = false;         // show "invalid integer"
};

// The range rules of the save dialogs: All gives 1 .. count; otherwise the absolute values of
// the two fields as integers (a field that is not an integer: invalidInteger), swapped when
// reversed, the end cut at count, a start of 0 made 1, and nothing when the start is still past
// the end.
RangeChoice chooseRange(bool all, const QString& from, const QString& to, qint64 count);

}  // namespace kl516
