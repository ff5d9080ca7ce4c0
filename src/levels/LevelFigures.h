#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kl516 {

// The figures of a series of levels against time, computed once, here, for every window, file,
// report and message, so that a series has one Leq everywhere.
//
// Times are seconds (instants of a measured series). Each sample weighs the time it represents:
// the time to the next sample of the series, at most twice the series' typical spacing (its
// median positive spacing); the last sample represents the typical spacing. A longer gap is
// missing time, not level. A sample without level (see hasLevel) weighs nothing and counts in
// no figure.

// levelEnergy of a sample's level, remembered per thread: a meter's levels take a few hundred
// values (tenths of a dB), so a loop over every sample of a long series finds nearly all of
// them here instead of in pow. The same value as levelEnergy.
double sampleEnergy(float level);

// The median of the positive spacings of ascending times; 0 when there is none.
double typicalSpacing(std::span<const double> times);

// The time sample i represents, as above.
inline double sampleWeight(std::span<const double> times, std::size_t i, double typical) {
    if (i + 1 >= times.size()) return typical;
    const double gap = times[i + 1] - times[i];
    return gap < 2 * typical ? gap : 2 * typical;
}

struct LevelFigures {
    // Empty when no sample had a level.
    std::optional<double> leq, lmax, lmin, l10, l50, l90, sel;
    double lmaxTime = 0, lminTime = 0;  // times of the earliest highest and lowest level
    std::size_t lmaxIndex = 0, lminIndex = 0;
    int64_t samples = 0;         // samples with a level
    double measuredSeconds = 0;  // T: the time the samples with a level represent
};

// The figures of samples [begin, end) of a whole series (weights from the whole series):
// Leq, the energy mean weighted by time; Lmax and Lmin with their times; LN, the level
// exceeded for N % of the measured time (ISO 1996-1; for evenly spaced samples the
// nearest-rank level of the sorted levels); T, the measured time; and the sound exposure
// level SEL = Leq + 10 lg(T / 1 s). Where only samples sharing their time were counted (T = 0)
// each counts alike.
LevelFigures levelFigures(std::span<const double> times, std::span<const float> levels,
                          double typical, std::size_t begin, std::size_t end);
inline LevelFigures levelFigures(std::span<const double> times, std::span<const float> levels) {
    return levelFigures(times, levels, typicalSpacing(times), 0, times.size());
}

// The Leq of samples [0, i] after each sample i, with the weights above (so that the last value
// is levelFigures' Leq of the whole series); NaN where sample i has no level.
std::vector<double> cumulativeLeqs(std::span<const double> times, std::span<const float> levels,
                                   double typical);

// The parts of LN that the between-cursor index shares. Weights are compared in whole
// microseconds, so that evenly spaced samples weigh exactly alike whatever the rounding of
// their times.
inline int64_t weightMicroseconds(double seconds) {
    // Rounded half up by hand (weights are never negative), cheaper than a call of llround.
    return seconds > 0 ? int64_t(seconds * 1e6 + 0.5) : 0;
}
// Among `count` levels weighing alike, sorted ascending, the index of LN: the nearest rank
// ceil((100 - N) / 100 * count), computed exactly.
std::size_t exceededRank(std::size_t count, int percent);
// Among levels sorted ascending with these weights (summing to total), the index of LN: the
// first level at which the weight of the levels up to it reaches (100 - N) % of the total.
std::size_t exceededIndex(std::span<const int64_t> ascendingWeights, int64_t total, int percent);

// The one rounding of every level the program shows, prints or writes: to a tenth of a dB,
// halves away from zero, after dropping arithmetic noise below a millionth of a dB (so that an
// energy mean of a constant 60.25 dB shows 60.3, as its Lmax does).
double roundedLevel(double level);
// roundedLevel as a whole number of tenths of a dB (603 for 60.25), for writers that compose
// the digits themselves; the level must be finite and below 10^12 dB in magnitude.
int64_t levelTenths(double level);
// roundedLevel with exactly one decimal in the locale's decimal separator and no group
// separators: "85.3", "85,3", "1234.5".
// Empty for a value that is no number.
QString levelText(double level, const QLocale& locale = QLocale::c());
// levelText in ASCII with a point, for writers of plain text files.
QByteArray levelAscii(double level);

}  // namespace kl516
