#pragma once

#include <QString>
#include <QStringView>
#include <QTimeZone>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "dataset/SerialDateTime.h"

namespace kl516 {

// The one home of the program's time arithmetic. Three scales meet here:
// - SerialDateTime: days since 1899-12-30 00:00 in LOCAL wall-clock time, as the files keep it;
// - wall seconds: local wall-clock seconds since 1970-01-01 00:00 (a day is always 86 400 of
//   them), what a serial day becomes for arithmetic;
// - instants: UTC seconds since 1970-01-01 00:00, which go on when the clocks change. A
//   measured series runs on instants, so that its times never run backwards and a day that the
//   clocks change holds 23 or 25 hours.
// Times are kept to the millisecond, as every stored time is.

// The SerialDateTime of 1970-01-01 00:00.
inline constexpr double kSerialOf1970 = 25569;
inline constexpr int kSecondsPerDay = 86400;

// Local wall-clock seconds of a serial time, rounded to the millisecond, so that 07:00:00 never
// becomes 06:59:59.999 through a day fraction's rounding.
double wallSecondsOfSerial(SerialDateTime t);
SerialDateTime serialOfWallSeconds(double wallSeconds);

// The date and the milliseconds into it (0 .. 86 399 999) of wall seconds.
struct WallDate {
    QDate date;
    int msOfDay = 0;
};
WallDate wallDateOf(double wallSeconds);
double wallSecondsOf(QDate date, int msOfDay);

// A time zone's wall clock against instants. Offsets are looked up once per span between two
// clock changes, so that converting the times of a long series costs little.
class LocalClock {
  public:
    // The system's zone (TZ), or a given one (tests).
    LocalClock();
    explicit LocalClock(const QTimeZone& zone);

    const QTimeZone& zone() const { return zone_; }

    // The offset from UTC, in seconds, in force at an instant.
    int offsetAt(double instant) const;
    // The wall seconds at an instant: instant + offsetAt(instant).
    double wallOf(double instant) const;

    // The instant of a wall time: the earliest of the instants it names that is not before
    // `notBefore` (when given), else the earliest. A wall time repeated when the clocks go back
    // names two instants; the second pass is taken once the series has passed the first. A wall
    // time in the gap when the clocks go forward names none: it is the first instant after the
    // gap.
    double instantOf(double wall, std::optional<double> notBefore = std::nullopt) const;

    // Cells of `length` seconds (dividing a day) that follow the wall clock, starting at
    // `origin` seconds after local midnight: the start of the cell holding an instant and the
    // start of the next one. Where the clocks change, cells keep their wall-clock bounds (an
    // hour repeated is two cells; a day is 23 or 25 hours long).
    double cellStart(double instant, int length, int origin = 0) const;
    double nextCellStart(double instant, int length, int origin = 0) const;

  private:
    struct Span {
        double from = 1, to = 0;  // instants [from, to) with one offset; empty at first
        int offset = 0;
    };
    Span lookUp(double instant) const;
    const Span& spanAt(double instant) const;
    // The instants a wall time names, in order (none in a gap: gapEnd is then the instant the
    // gap ends).
    int instantsOf(double wall, std::array<double, 4>& out, double& gapEnd) const;

    QTimeZone zone_;
    // The last spans looked up: a series, and the walk around a change, revisit them. Not safe
    // to share between threads; give each its own clock.
    mutable std::array<Span, 4> spans_{};
    mutable std::size_t last_ = 0, next_ = 0;
};

// Turns a series' wall times into instants one after the other: each time is the earliest
// instant it names that is not before the previous one (the repeated hour of autumn read as
// its second pass when the times step back to it). False when the time runs backwards.
class InstantSequence {
  public:
    explicit InstantSequence(const LocalClock& clock) : clock_(clock) {}
    bool next(double wall, double& instant);
    void reset() { previous_.reset(); }
    // Goes on after an instant known otherwise (a time written with its offset).
    void continueFrom(double instant) { previous_ = instant; }

  private:
    const LocalClock& clock_;
    std::optional<double> previous_;
};

// ISO 8601 with the offset in force: "2024-04-13T09:20:31+02:00", with ".zzz" when
// withMilliseconds (always) or when the instant has milliseconds (otherwise).
QString isoInstantText(double instant, const LocalClock& clock, bool withMilliseconds = false);
// ISO 8601 of wall seconds without an offset: "2024-04-13T09:20:31" (".zzz" as above).
QString isoWallText(double wallSeconds, bool withMilliseconds = false);

// Reads "yyyy-MM-ddTHH:mm[:ss[.fff]]" with an optional "Z" or "+hh:mm"/"-hh:mm" (a blank in
// place of the "T" too). With an offset the result is an instant; without, wall seconds.
struct IsoTime {
    double seconds = 0;
    bool hasOffset = false;
};
std::optional<IsoTime> parseIsoTime(QStringView text);

// A time of day: "07:00" or "07:00:30" to seconds after midnight (0 .. 86 399), and back
// ("HH:mm" when the seconds are 0, else "HH:mm:ss").
std::optional<int> parseTimeOfDay(QStringView text);
QString timeOfDayText(int secondsAfterMidnight);

}  // namespace kl516
