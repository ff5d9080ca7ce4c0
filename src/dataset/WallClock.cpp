#include "dataset/WallClock.h"

#include <QDateTime>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kl516 {

namespace {

constexpr int64_t kMsPerDay = int64_t(kSecondsPerDay) * 1000;
constexpr double kSerialOf1970Days = kSerialOf1970;
// No zone's offset has ever changed by more than a day at once, so every instant a wall time
// can name lies within this distance of it.
constexpr double kReach = 2.0 * kSecondsPerDay;
constexpr double kForever = std::numeric_limits<double>::infinity();

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (q * b > a) ? q - 1 : q;
}

int64_t msOf(double seconds) {
    return std::llround(seconds * 1000.0);
}

double secondsOfMs(int64_t ms) {
    return double(ms) / 1000.0;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms), so
// that the times of a long series need no QDate.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

int daysInMonth(int64_t y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

void putDigits(char*& p, int64_t value, int width) {
    char* end = p + width;
    for (char* q = end; q != p;) {
        *--q = char('0' + value % 10);
        value /= 10;
    }
    p = end;
}

// "yyyy-MM-ddTHH:mm:ss[.zzz]" of wall milliseconds since 1970.
QString wallText(int64_t wallMs, bool withMilliseconds) {
    const int64_t days = floorDiv(wallMs, kMsPerDay);
    const int64_t msOfDay = wallMs - days * kMsPerDay;
    int64_t y;
    int m, d;
    civilFromDays(days, y, m, d);
    char buffer[40];
    char* p = buffer;
    if (y < 0) {
        *p++ = '-';
        y = -y;
    }
    putDigits(p, y, y > 9999 ? (y > 99999 ? 6 : 5) : 4);
    *p++ = '-';
    putDigits(p, m, 2);
    *p++ = '-';
    putDigits(p, d, 2);
    *p++ = 'T';
    putDigits(p, msOfDay / 3600000, 2);
    *p++ = ':';
    putDigits(p, msOfDay / 60000 % 60, 2);
    *p++ = ':';
    putDigits(p, msOfDay / 1000 % 60, 2);
    if (withMilliseconds || msOfDay % 1000 != 0) {
        *p++ = '.';
        putDigits(p, msOfDay % 1000, 3);
    }
    return QString::fromLatin1(buffer, p - buffer);
}

QString offsetText(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int minutes = std::abs(seconds) / 60;
    char buffer[8];
    char* p = buffer;
    *p++ = sign;
    putDigits(p, minutes / 60, 2);
    *p++ = ':';
    putDigits(p, minutes % 60, 2);
    return QString::fromLatin1(buffer, p - buffer);
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// A cursor over text that reads fixed-width numbers.
struct Cursor {
    QStringView s;
    qsizetype i = 0;

    bool atEnd() const { return i >= s.size(); }
    QChar peek() const { return atEnd() ? QChar() : s[i]; }
    bool take(char c) {
        if (peek() != QLatin1Char(c)) return false;
        ++i;
        return true;
    }
    bool digits(int count, int& value) {
        value = 0;
        for (int k = 0; k < count; ++k, ++i) {
            if (atEnd() || !isAsciiDigit(s[i])) return false;
            value = value * 10 + (s[i].unicode() - '0');
        }
        return true;
    }
};

}  // namespace

// ---- serial days and wall seconds

double wallSecondsOfSerial(SerialDateTime t) {
    if (!std::isfinite(t) || std::fabs(t) > 1e8) return std::nan("");
    // As SerialDateTime reads it: a negative value counts its whole days backwards and its
    // fraction forwards.
    double whole = std::trunc(t);
    int64_t msOfDay = std::llround(std::fabs(t - whole) * double(kMsPerDay));
    if (msOfDay >= kMsPerDay) {
        msOfDay -= kMsPerDay;
        whole += t < 0 ? -1 : 1;
    }
    const int64_t days = int64_t(whole) - int64_t(kSerialOf1970Days);
    return secondsOfMs(days * kMsPerDay + msOfDay);
}

SerialDateTime serialOfWallSeconds(double wallSeconds) {
    if (!std::isfinite(wallSeconds)) return std::nan("");
    const int64_t ms = msOf(wallSeconds);
    const int64_t days = floorDiv(ms, kMsPerDay);
    const double fraction = double(ms - days * kMsPerDay) / double(kMsPerDay);
    const double serialDays = double(days) + kSerialOf1970Days;
    return serialDays < 0 ? serialDays - fraction : serialDays + fraction;
}

WallDate wallDateOf(double wallSeconds) {
    WallDate w;
    if (!std::isfinite(wallSeconds)) return w;
    const int64_t ms = msOf(wallSeconds);
    const int64_t days = floorDiv(ms, kMsPerDay);
    w.date = QDate(1970, 1, 1).addDays(days);
    w.msOfDay = int(ms - days * kMsPerDay);
    return w;
}

double wallSecondsOf(QDate date, int msOfDay) {
    if (!date.isValid()) return std::nan("");
    const int64_t days = QDate(1970, 1, 1).daysTo(date);
    return secondsOfMs(days * kMsPerDay + msOfDay);
}

// ---- the local clock

LocalClock::LocalClock() : LocalClock(QTimeZone::systemTimeZone()) {}

LocalClock::LocalClock(const QTimeZone& zone) : zone_(zone.isValid() ? zone : QTimeZone::utc()) {}

LocalClock::Span LocalClock::lookUp(double instant) const {
    Span s;
    s.from = -kForever;
    s.to = kForever;
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(msOf(instant), zone_);
    s.offset = zone_.offsetFromUtc(at);
    if (!zone_.hasTransitions()) return s;
    // The last change at or before the instant and the first after it.
    const QTimeZone::OffsetData previous = zone_.previousTransition(at.addMSecs(1));
    const QTimeZone::OffsetData next = zone_.nextTransition(at);
    if (previous.atUtc.isValid()) s.from = secondsOfMs(previous.atUtc.toMSecsSinceEpoch());
    if (next.atUtc.isValid()) s.to = secondsOfMs(next.atUtc.toMSecsSinceEpoch());
    // A zone that answers oddly still gives a span that holds the instant.
    if (s.from > instant) s.from = instant;
    if (s.to <= instant) s.to = instant + 1;
    return s;
}

const LocalClock::Span& LocalClock::spanAt(double instant) const {
    if (spans_[last_].from <= instant && instant < spans_[last_].to) return spans_[last_];
    for (std::size_t k = 0; k < spans_.size(); ++k) {
        if (spans_[k].from <= instant && instant < spans_[k].to) {
            last_ = k;
            return spans_[k];
        }
    }
    next_ = (next_ + 1) % spans_.size();
    spans_[next_] = lookUp(instant);
    last_ = next_;
    return spans_[last_];
}

int LocalClock::offsetAt(double instant) const {
    if (!std::isfinite(instant)) return 0;
    return spanAt(instant).offset;
}

double LocalClock::wallOf(double instant) const {
    return secondsOfMs(msOf(instant) + int64_t(offsetAt(instant)) * 1000);
}

int LocalClock::instantsOf(double wall, std::array<double, 4>& out, double& gapEnd) const {
    gapEnd = kForever;
    const int64_t wallMs = msOf(wall);
    // Mostly the wall time lies deep inside one span, and names one instant.
    {
        const Span& s = spanAt(wall - spans_[last_].offset);
        const double c = secondsOfMs(wallMs - int64_t(s.offset) * 1000);
        if (s.from + kReach <= c && c + kReach < s.to) {
            out[0] = c;
            return 1;
        }
    }
    // Near a change: walk the spans the wall time can fall in, in order.
    int n = 0;
    double t = wall - kReach;
    int previousOffset = 0;
    bool first = true;
    while (t <= wall + kReach) {
        const Span s = spanAt(t);
        const double c = secondsOfMs(wallMs - int64_t(s.offset) * 1000);
        if (s.from <= c && c < s.to && n < int(out.size())) out[n++] = c;
        // The clocks went forward at s.from over this wall time: it lies in the gap.
        if (!first && s.offset > previousOffset && gapEnd == kForever &&
            s.from + previousOffset <= wall && wall < s.from + s.offset)
            gapEnd = s.from;
        previousOffset = s.offset;
        first = false;
        if (!std::isfinite(s.to)) break;
        t = s.to;
    }
    return n;
}

double LocalClock::instantOf(double wall, std::optional<double> notBefore) const {
    if (!std::isfinite(wall)) return wall;
    std::array<double, 4> c;
    double gapEnd;
    const int n = instantsOf(wall, c, gapEnd);
    if (n == 0)
        return std::isfinite(gapEnd) ? gapEnd : secondsOfMs(msOf(wall) - offsetAt(wall) * 1000LL);
    if (notBefore) {
        for (int k = 0; k < n; ++k)
            if (c[k] >= *notBefore) return c[k];
    }
    return c[0];
}

namespace {

// Wall grid: starts of cells of `length` seconds from `origin` after midnight.
int64_t gridFloor(int64_t wallMs, int64_t lengthMs, int64_t originMs) {
    return floorDiv(wallMs - originMs, lengthMs) * lengthMs + originMs;
}

}  // namespace

double LocalClock::cellStart(double instant, int length, int origin) const {
    if (!std::isfinite(instant) || length <= 0) return instant;
    const int64_t lengthMs = int64_t(length) * 1000;
    const int64_t startWall = gridFloor(msOf(wallOf(instant)), lengthMs, int64_t(origin) * 1000);
    std::array<double, 4> c;
    double gapEnd;
    const int n = instantsOf(secondsOfMs(startWall), c, gapEnd);
    if (n == 0) return std::min(gapEnd, instant);
    // The latest pass of the start that is not after the instant (the repeated hour's second
    // pass holds its own cells).
    double start = c[0];
    for (int k = 1; k < n; ++k)
        if (c[k] <= instant) start = c[k];
    return std::min(start, instant);
}

double LocalClock::nextCellStart(double instant, int length, int origin) const {
    if (!std::isfinite(instant) || length <= 0) return instant;
    const int64_t lengthMs = int64_t(length) * 1000;
    const int64_t originMs = int64_t(origin) * 1000;
    const int64_t endWall = gridFloor(msOf(wallOf(instant)), lengthMs, originMs) + lengthMs;
    std::array<double, 4> c;
    double gapEnd;
    const int n = instantsOf(secondsOfMs(endWall), c, gapEnd);
    double end = kForever;
    for (int k = 0; k < n && end == kForever; ++k)
        if (c[k] > instant) end = c[k];
    if (n == 0 && gapEnd > instant) end = gapEnd;
    // Where the clocks go back before that end, the wall clock passes the grid again: the first
    // grid time after the change ends the cell.
    double t = spanAt(instant).to;
    int offset = spanAt(instant).offset;
    while (t < end) {
        const Span s = spanAt(t);
        if (s.offset < offset) {
            const int64_t wallAfter = msOf(t) + int64_t(s.offset) * 1000;
            int64_t g = gridFloor(wallAfter, lengthMs, originMs);
            if (g < wallAfter) g += lengthMs;
            end = std::min(end, secondsOfMs(g - int64_t(s.offset) * 1000));
        }
        offset = s.offset;
        t = s.to;
    }
    if (end == kForever || end <= instant) end = instant + length;  // no answer: a plain length
    return end;
}

// ---- a series' instants

bool InstantSequence::next(double wall, double& instant) {
    instant = clock_.instantOf(wall, previous_);
    if (!std::isfinite(instant)) return false;
    if (previous_ && instant < *previous_) return false;
    previous_ = instant;
    return true;
}

// ---- text

QString isoInstantText(double instant, const LocalClock& clock, bool withMilliseconds) {
    if (!std::isfinite(instant)) return {};
    const int offset = clock.offsetAt(instant);
    return wallText(msOf(instant) + int64_t(offset) * 1000, withMilliseconds) + offsetText(offset);
}

QString isoWallText(double wallSeconds, bool withMilliseconds) {
    if (!std::isfinite(wallSeconds)) return {};
    return wallText(msOf(wallSeconds), withMilliseconds);
}

std::optional<IsoTime> parseIsoTime(QStringView text) {
    Cursor c{text.trimmed()};
    int year, month, day, hour, minute, second = 0, ms = 0;
    if (!c.digits(4, year) || !c.take('-') || !c.digits(2, month) || !c.take('-') ||
        !c.digits(2, day))
        return std::nullopt;
    if (!c.take('T') && !c.take('t') && !c.take(' ')) return std::nullopt;
    if (!c.digits(2, hour) || !c.take(':') || !c.digits(2, minute)) return std::nullopt;
    if (c.take(':')) {
        if (!c.digits(2, second)) return std::nullopt;
        if (c.take('.') || c.take(',')) {
            // Any number of decimals, rounded to the millisecond.
            double fraction = 0, scale = 0.1;
            int count = 0;
            while (!c.atEnd() && isAsciiDigit(c.peek())) {
                fraction += (c.peek().unicode() - '0') * scale;
                scale /= 10;
                ++c.i;
                ++count;
            }
            if (count == 0) return std::nullopt;
            ms = int(std::lround(fraction * 1000));
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;
    IsoTime t;
    int64_t wallMs = daysFromCivil(year, month, day) * kMsPerDay +
                     int64_t(hour * 3600 + minute * 60 + second) * 1000 + ms;
    if (c.take('Z') || c.take('z')) {
        t.hasOffset = true;
    } else if (c.peek() == u'+' || c.peek() == u'-') {
        const int sign = c.peek() == u'-' ? -1 : 1;
        ++c.i;
        int oh, om = 0;
        if (!c.digits(2, oh)) return std::nullopt;
        if (c.take(':')) {
            if (!c.digits(2, om)) return std::nullopt;
        } else if (!c.atEnd() && !c.digits(2, om)) {
            return std::nullopt;
        }
        if (oh > 23 || om > 59) return std::nullopt;
        t.hasOffset = true;
        wallMs -= sign * int64_t(oh * 3600 + om * 60) * 1000;
    }
    if (!c.atEnd()) return std::nullopt;
    t.seconds = secondsOfMs(wallMs);
    return t;
}

std::optional<int> parseTimeOfDay(QStringView text) {
    Cursor c{text.trimmed()};
    int hour = 0, minute, second = 0;
    // One or two digits of hours.
    if (!c.digits(1, hour)) return std::nullopt;
    int more;
    if (isAsciiDigit(c.peek()) && c.digits(1, more)) hour = hour * 10 + more;
    if (!c.take(':') || !c.digits(2, minute)) return std::nullopt;
    if (c.take(':') && !c.digits(2, second)) return std::nullopt;
    if (!c.atEnd() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

QString timeOfDayText(int secondsAfterMidnight) {
    const int s = ((secondsAfterMidnight % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
    char buffer[12];
    char* p = buffer;
    putDigits(p, s / 3600, 2);
    *p++ = ':';
    putDigits(p, s / 60 % 60, 2);
    if (s % 60) {
        *p++ = ':';
        putDigits(p, s % 60, 2);
    }
    return QString::fromLatin1(buffer, p - buffer);
}

}  // namespace kl516
