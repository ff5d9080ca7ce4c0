#include "logger/Download.h"

namespace kl516 {

int32_t downloadTotal(int32_t lastAddress) {
    int64_t total = int64_t{lastAddress} + 1;
    if (total > kLoggerMemorySize || total < kLoggerHeaderSize) total = kLoggerMemorySize;
    if (total % 32 != 0) total = total - total % 32 + 32;
    return int32_t(total);
}

int32_t downloadMemory(MeterLink& link, LinkHost& host, LoggerImage& image, int32_t& lastAddress,
                       DownloadProgress* progress) {
    image.clear();
    while (host.linkBusy()) host.processPendingEvents();
    host.stopPollTimer();

    const int32_t info =
        retryTransaction(MeterLink::kTransactionAttempts, [&] { return link.queryInfo(); });
    if (info != LinkResult::Success) {
        if (progress) progress->finish();
        return info;
    }

    const ResponseFrame& response = link.mainResponse();
    lastAddress = int32_t(response[11]) << 16 | int32_t(response[12]) << 8 | response[13];
    const int32_t total = downloadTotal(lastAddress);

    if (progress) progress->start(total);
    // The information response is the image's first block.
    image.reserve(size_t(total));
    image.insert(image.end(), response.begin(), response.end());
    int32_t remaining = total - 32;
    int32_t received = 32;

    int32_t result = LinkResult::Success;
    while (remaining != 0) {
        // The device stays open: write and read repeat with no other library call between.
        setLetter(link.mainBuffer(), Cmd::DownloadNext);
        if (link.writeFrame(link.mainBuffer()) != 0) {
            link.closeDevice();
            result = LinkResult::BlockRequestFailed;
            break;
        }
        if (link.readResponse(link.mainResponse()) != 0) {
            link.closeDevice();
            result = LinkResult::BlockReadFailed;
            break;
        }
        remaining -= 32;
        received += 32;
        image.insert(image.end(), response.begin(), response.end());
        if (progress) progress->received(received);
    }
    if (result == LinkResult::Success) {
        setLetter(link.mainBuffer(), Cmd::DownloadEnd);  // no answer is read; the device stays open
        if (link.writeFrame(link.mainBuffer()) != 0) result = LinkResult::CloseRequestFailed;
    }
    if (progress) progress->finish();
    // A transfer that broke off in its first half is reported as short.
    if (received < remaining) result = LinkResult::TransferShort;
    return result;
}

}  // namespace kl516
