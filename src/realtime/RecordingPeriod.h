#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

namespace kl516 {

// The recording period of `samples` samples at `rate` seconds each, in whole seconds rounded
// half up (samples x rate + 0.5, truncated). A negative or unreadable product gives 0 and a
// product too large for a clock text is held at kMaxPeriodSeconds.
inline constexpr int64_t kMaxPeriodSeconds = int64_t(1) << 52;
int64_t recordingPeriodSeconds(double rate, int64_t samples);

// "H:M:S", every number without leading zeros: the period the setup dialog opens with
// (2000 samples at 0.2 s give "0:6:40").
QString presetPeriodText(int64_t seconds);

// "H:MM:SS", hours without leading zeros, minutes and seconds as two digits: the period the
// setup dialog shows after every edit (2000 samples at 0.2 s give "0:06:40").
QString periodText(int64_t seconds);

// A sampling-rate text read as a decimal number with the locale's decimal separator (blanks
// around it allowed, group separators not); nullopt when it is not a number.
std::optional<double> parseRate(const QString& text, const QLocale& locale);

// A sample-count text with leading and trailing blanks removed, read as a decimal integer;
// nullopt when it is not one (an empty field, say).
std::optional<int> parseSampleCount(const QString& text);

// The message for a rate text that is not a number: the text in quotes followed by
// " is not a valid floating point value".
QString notANumberMessage(const QString& text);

// The dialog's period display for its two texts: an unreadable count counts as 0; nullopt when
// the rate is not a number (the display then keeps its previous text).
std::optional<QString> recomputedPeriodText(const QString& rateText, const QString& countText,
                                            const QLocale& locale);

}  // namespace kl516
