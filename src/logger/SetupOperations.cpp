#include "logger/SetupOperations.h"

#include <algorithm>

#include "link/LinkResult.h"
#include "link/MeterLink.h"

namespace kl516 {

QString setupMessage(SetupOperation operation, int32_t result) {
    if (operation == SetupOperation::SetClock)
        return result == LinkResult::Success ? SetupText::ClockDone : SetupText::ClockFailed;
    if (result == LinkResult::Success) {
        switch (operation) {
            case SetupOperation::SetInterval: return SetupText::IntervalDone;
            case SetupOperation::Erase: return SetupText::EraseDone;
            case SetupOperation::ReadInformation: return SetupText::InformationDone;
            case SetupOperation::WriteConfig: return SetupText::WriteDone;
            case SetupOperation::ReadConfig: return SetupText::ReadDone;
            case SetupOperation::SetClock: break;
        }
    }
    if (result == LinkResult::InvalidInput) return SetupText::InvalidInput;
    return linkResultMessage(result);
}

std::optional<int> recordingIntervalFrom(const QString& minutes, const QString& seconds) {
    const std::optional<int64_t> m = integerFromText(minutes);
    const std::optional<int64_t> s = integerFromText(seconds);
    if (!m || !s) return std::nullopt;
    const int64_t interval = *m * 60 + *s;
    // A negative field cannot be typed into the two-digit fields; a typed-in command can.
    if (*m < 0 || *s < 0 || interval > kMaxRecordingIntervalS) return std::nullopt;
    return static_cast<int>(interval);
}

std::optional<int64_t> integerFromText(const QString& text) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        negative = t.front() == QLatin1Char('-');
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    // Only plain digits: no spaces, signs or group separators inside the number.
    if (t.isEmpty() || t.size() > 16) return std::nullopt;
    for (const QChar c : t) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const QChar l = c.toLower();
        if (!digit && !(base == 16 && l >= QLatin1Char('a') && l <= QLatin1Char('f')))
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, base);
    if (!ok) return std::nullopt;
    return negative ? -v : v;
}

QString notAnIntegerMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

namespace {

ConfigField checkedField(const QString& text, int64_t max, const QString& rangeMessage) {
    ConfigField f;
    const std::optional<int64_t> v = integerFromText(text);
    if (!v)
        f.error = notAnIntegerMessage(text);
    else if (*v < 0 || *v > max)
        f.error = rangeMessage;
    else
        f.value = static_cast<uint32_t>(*v);
    return f;
}

}  // namespace

ConfigField configAddressFrom(const QString& text) {
    return checkedField(text, kMaxConfigAddress,
                        QStringLiteral("The address '%1' is outside the configuration memory: "
                                       "it must be 0 to 16777215 (0xFFFFFF).")
                            .arg(text));
}

ConfigField configDataFrom(const QString& text) {
    return checkedField(text, 255,
                        QStringLiteral("The data '%1' is not one byte: it must be 0 to 255.")
                            .arg(text));
}

CommandFrame configWriteFrame(uint32_t address, uint8_t data) {
    CommandFrame frame{0x02, 0, 0, 0, 0, 0, 0x03};
    setConfigWriteFrame(frame, address, data);
    return frame;
}

CommandFrame configReadFrame(uint32_t address) {
    CommandFrame frame{0x02, 0, 0, 0, 0, 0, 0x03};
    setConfigReadFrame(frame, address);
    return frame;
}

int32_t memoryAvailableFor(uint32_t highestAddress) {
    // A meter cannot hold more than its capacity; a larger address shows no free place rather
    // than a negative count.
    return std::max<int32_t>(0, (kLoggerCapacityBytes - static_cast<int32_t>(highestAddress)) / 2);
}

QString calibrationText(uint16_t value, const QLocale& locale) {
    return locale.toString(value / 256.0, 'f', 2) + QStringLiteral("  (") +
           QString::number(value) + QLatin1Char(')');
}

LoggerInformation informationFrom(const ResponseFrame& r, const QLocale& userLocale) {
    QLocale locale = userLocale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const auto u16 = [&](int at) { return static_cast<uint16_t>(r[at] << 8 | r[at + 1]); };
    // BCD bytes read as decimal when written as two hexadecimal digits.
    const auto hex2 = [&](int at) {
        return QStringLiteral("%1").arg(r[at], 2, 16, QLatin1Char('0')).toUpper();
    };
    LoggerInformation info;
    info.version = locale.toString(r[31] * 0.01, 'f', 2);
    info.meterTime = hex2(26) + QLatin1Char('/') + hex2(27) + QStringLiteral("/20") + hex2(25) +
                     QStringLiteral("   ") + hex2(28) + QLatin1Char(':') + hex2(29) +
                     QLatin1Char(':') + hex2(30);
    info.interval = QString::number(r[15]);
    info.dataSets = QString::number(u16(9));
    const uint32_t highest = uint32_t{r[11]} << 16 | uint32_t{r[12]} << 8 | r[13];
    info.memoryAvailable = QString::number(memoryAvailableFor(highest));
    info.cal70dB = calibrationText(u16(19), locale);
    info.cal60dB = calibrationText(u16(21), locale);
    info.cal40dB = calibrationText(u16(23), locale);
    info.cal30dB = calibrationText(u16(25), locale);
    info.cal94dB = locale.toString(static_cast<int8_t>(r[18]) * 0.1, 'f', 1);
    return info;
}

int32_t writeRecordingInterval(MeterLink& link, int seconds) {
    const int32_t r =
        link.writeConfigByte(kConfigIntervalResetAddress, 0, MeterLink::Echo::LetterBytes);
    if (r != LinkResult::Success) return r;
    return link.writeConfigByte(kConfigIntervalAddress, static_cast<uint8_t>(seconds),
                                MeterLink::Echo::LetterBytes);
}

int32_t readLoggerInformation(MeterLink& link, const QLocale& locale, LoggerInformation* info) {
    const int32_t r = link.readInformation();
    if (r != LinkResult::Success) return r;
    if (info) {
        *info = informationFrom(link.setupResponse(), locale);
        char serial[64] = {};
        link.library().readString(0, serial, sizeof serial);  // its result is not looked at
        serial[sizeof serial - 1] = '\0';
        info->serial = QString::fromLatin1(serial);
    }
    return r;
}

}  // namespace kl516
