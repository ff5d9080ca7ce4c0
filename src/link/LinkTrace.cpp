#include "link/LinkTrace.h"

#include <QDateTime>

namespace kl516 {

QString hexBytes(const uint8_t* bytes, int length) {
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(length * 3);
    for (int i = 0; i < length; ++i) {
        if (i) out += QLatin1Char(' ');
        out += QLatin1Char(digits[bytes[i] >> 4]);
        out += QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return out;
}

TracingDeviceLibrary::TracingDeviceLibrary(DeviceLibrary& inner, const QString& path)
    : inner_(inner), file_(path) {
    file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void TracingDeviceLibrary::log(const char* what, int32_t result, const uint8_t* bytes,
                               int32_t length) {
    if (!file_.isOpen()) return;
    QString text = QLatin1String(what);
    if (bytes && length > 0) text += QLatin1Char(' ') + hexBytes(bytes, length);
    if (result != 0) text += QStringLiteral(" -> failed (%1)").arg(result);
    logLine(text);
}

void TracingDeviceLibrary::logLine(const QString& text) {
    QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
    line += text;
    line += QLatin1Char('\n');
    file_.write(line.toUtf8());
    file_.flush();  // a trace is read after a crash or an unplugged meter, so keep it current
}

// Opening and closing happen around every poll; only their failures are worth a line.
int32_t TracingDeviceLibrary::close() { return inner_.close(); }

int32_t TracingDeviceLibrary::open(uint16_t vendorId, uint16_t productId) {
    const int32_t r = inner_.open(vendorId, productId);
    if (r != 0) log("open", r);
    return r;
}

int32_t TracingDeviceLibrary::setTimeouts(int32_t readTimeoutMs, int32_t writeTimeoutMs) {
    const int32_t r = inner_.setTimeouts(readTimeoutMs, writeTimeoutMs);
    if (r != 0) log("timeouts", r);
    return r;
}

void TracingDeviceLibrary::logStaleReports(const char* what) {
    const int32_t n = inner_.staleReports();
    if (n <= 0 || !file_.isOpen()) return;
    logLine(QStringLiteral("%1 %2 stale report%3")
                .arg(QLatin1String(what))
                .arg(n)
                .arg(n == 1 ? QString() : QStringLiteral("s")));
}

// The stale reports a write drained went before it, so their line comes first.
int32_t TracingDeviceLibrary::write(int32_t length, const uint8_t* bytes) {
    const int32_t r = inner_.write(length, bytes);
    logStaleReports("drained");
    log(">", r, bytes, length);
    return r;
}

int32_t TracingDeviceLibrary::prepareRead() { return inner_.prepareRead(); }

int32_t TracingDeviceLibrary::read(int32_t length, uint8_t* buffer) {
    const int32_t r = inner_.read(length, buffer);
    if (r == 0)
        log("<", r, buffer, length);
    else
        log("<", r);
    // The late rest of a response that broke off, thrown away after the failed read.
    logStaleReports("discarded");
    return r;
}

int32_t TracingDeviceLibrary::writeBlock(int32_t length, const uint8_t* bytes) {
    const int32_t r = inner_.writeBlock(length, bytes);
    logStaleReports("drained");
    log(">>", r, bytes, length);
    return r;
}

int32_t TracingDeviceLibrary::readString(int32_t index, char* buffer, int32_t bufferSize) {
    const int32_t r = inner_.readString(index, buffer, bufferSize);
    log("string", r);
    return r;
}

}  // namespace kl516
