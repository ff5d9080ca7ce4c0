#include "formats/RangeSelection.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kl516 {

namespace {

// The absolute value of a field holding an optional sign and decimal digits, blanks around
// allowed; none when it holds anything else or a value beyond 64 bits.
std::optional<qint64> absoluteInteger(const QString& field) {
    const QString text = field.trimmed();
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    if (i == text.size()) return std::nullopt;
    quint64 value = 0;
    constexpr quint64 kMax = quint64(std::numeric_limits<qint64>::max());
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        const quint64 digit = c - u'0';
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return qint64(value);
}

}  // namespace

RangeChoice chooseRange(bool all, const QString& from, const QString& to, qint64 count) {
    RangeChoice choice;
    count = std::max<qint64>(count, 0);
    qint64 first = 1;
    qint64 last = count;
    if (!all) {
        const std::optional<qint64> a = absoluteInteger(from);
        const std::optional<qint64> b = absoluteInteger(to);
        if (!a || !b) {
            choice.invalidInteger = true;
            return choice;
        }
        first = *a;
        last = *b;
    }
    if (last < first) std::swap(first, last);
    if (last > count) last = count;
    if (first == 0) first = 1;
    if (first > last) return choice;
    choice.range = SelectedRange{first, last};
    return choice;
}

}  // namespace kl516
