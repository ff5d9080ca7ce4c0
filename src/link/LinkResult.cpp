#include "link/LinkResult.h"

namespace kl516 {

QString linkResultMessage(int32_t result) {
    switch (result) {
        case LinkResult::OpenFailed: return QStringLiteral("fail to open usb device");
        case LinkResult::TimeoutsFailed: return QStringLiteral("fail to set timeout");
        case LinkResult::WriteFailed: return QStringLiteral("fail to write command to device");
        case LinkResult::ReadFailed: return QStringLiteral("fail to read");
        case LinkResult::EchoMismatch: return QStringLiteral("data error");
        default: return {};
    }
}

}  // namespace kl516
