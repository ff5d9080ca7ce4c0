#include "link/LinkResult.h"

namespace kl516 {

namespace {
// One meter and one user-interface thread: the last open's finding is the program's.
QString& accessProblem() {
    static QString text;
    return text;
}
}  // namespace

void setDeviceAccessProblem(const QString& text) { accessProblem() = text; }

QString deviceAccessProblem() { return accessProblem(); }

QString linkResultMessage(int32_t result) {
    switch (result) {
        case LinkResult::OpenFailed: {
            const QString problem = deviceAccessProblem();
            return QStringLiteral("fail to open usb device") +
                   (problem.isEmpty() ? QString() : QLatin1Char('\n') + problem);
        }
        case LinkResult::TimeoutsFailed: return QStringLiteral("fail to set timeout");
        case LinkResult::WriteFailed: return QStringLiteral("fail to write command to device");
        case LinkResult::ReadFailed: return QStringLiteral("fail to read");
        case LinkResult::EchoMismatch: return QStringLiteral("data error");
        default: return {};
    }
}

}  // namespace kl516
