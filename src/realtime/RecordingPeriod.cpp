#include "realtime/RecordingPeriod.h"

#include <cmath>

namespace kl516 {

int64_t recordingPeriodSeconds(double rate, int64_t samples) {
    const double s = std::trunc(double(samples) * rate + 0.5);
    if (!(s > 0)) return 0;  // negative or NaN
    if (s >= double(kMaxPeriodSeconds)) return kMaxPeriodSeconds;
    return int64_t(s);
}

QString presetPeriodText(int64_t seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds % 3600 / 60)
        .arg(seconds % 60);
}

QString periodText(int64_t seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::optional<double> parseRate(const QString& text, const QLocale& locale) {
    QLocale strict = locale;
    strict.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(text.trimmed(), &ok);
    if (!ok) return std::nullopt;
    return value;
}

std::optional<int> parseSampleCount(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

QString notANumberMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

std::optional<QString> recomputedPeriodText(const QString& rateText, const QString& countText,
                                            const QLocale& locale) {
    const std::optional<double> rate = parseRate(rateText, locale);
    if (!rate) return std::nullopt;
    const int count = parseSampleCount(countText).value_or(0);
    return periodText(recordingPeriodSeconds(*rate, count));
}

}  // namespace kl516
