#include "leq/LeqSession.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

#include "link/MeterLink.h"
#include "levels/LevelFigures.h"

namespace kl516 {

LeqSession::LeqSession(MeterLink& link, QString logPath, QLocale locale)
    : link_(link), logPath_(std::move(logPath)), locale_(std::move(locale)) {}

void LeqSession::start(int seconds) {
    if (log_.isOpen()) log_.close();
    if (!logPath_.isEmpty()) {
        // The log's folder is created here: nothing else makes it.
        QDir().mkpath(QFileInfo(logPath_).absolutePath());
        log_.setFileName(logPath_);
        if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate)) log_.setFileName(QString());
    }
    link_.closeDevice();
    link_.library().open(kMeterVendorId, kMeterProductId);
    link_.library().setTimeouts(kLinkTimeoutMs, kLinkTimeoutMs);
    run_.start(seconds);
}

LeqRun::Outcome LeqSession::tick() {
    if (!run_.running()) return LeqRun::Outcome::Idle;
    // 'A' from the main buffer: bytes 2 to 5 go out as the last command left them.
    setLetter(link_.mainBuffer(), Cmd::Status);
    link_.writeFrame(link_.mainBuffer());
    link_.prepareRead();
    LeqRun::Outcome outcome;
    if (link_.readResponse(link_.mainResponse()) != 0) {
        outcome = run_.fail();
    } else {
        LeqReading reading = leqReadingFromFrame(link_.mainResponse(), link_.clock().now());
        reading.tickMs = link_.clock().tickMs();
        if (log_.isOpen()) {
            const QByteArray line = (formatLongTime(reading.stamp, locale_) + QLatin1Char('\t') +
                                     levelText(reading.level(), locale_))
                                        .toLocal8Bit() +
                                    "\r\n";
            log_.write(line);
        }
        outcome = run_.add(reading);
    }
    if (!run_.running()) log_.close();
    return outcome;
}

void LeqSession::stop() {
    run_.stop();
    log_.close();
}

}  // namespace kl516
