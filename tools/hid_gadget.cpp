// The simulated meter behind a Linux USB HID gadget (configfs function hid.usbN, device node
// /dev/hidgN), so that the program's USB backend can be tested through the kernel's host
// controller, usbhid and hidraw. Output reports from the host are the meter's command frames
// (or, after a clock command, the 32-byte clock block); each answer goes back as input reports
// of the gadget's report length. Reports of any other length are rejected and logged, as a
// device with fixed-size reports would not understand them. On request it falls out of step
// with the host the way a slow or chattering device does: one answer comes late, or one
// report more than the answer goes out.
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "link/Clock.h"
#include "link/Frames.h"
#include "link/HidReportDescriptor.h"
#include "logger/CollectionFile.h"
#include "logger/Download.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

const char* const kUsage =
    "usage: kl516-hid-gadget descriptor LENGTH\n"
    "           writes the report descriptor of LENGTH-byte input and output reports\n"
    "       kl516-hid-gadget full-image FILE.rec\n"
    "           writes a collection file of one data set that fills the logger memory\n"
    "       kl516-hid-gadget serve DEVICE LENGTH [--sim-memory FILE.rec | --sim-empty]\n"
    "                        [--unplug-after-blocks N UDC-FILE] [--level TENTHS]\n"
    "                        [--late-answer N] [--extra-report N]\n"
    "           answers the host on DEVICE (/dev/hidg0) with LENGTH-byte reports until\n"
    "           SIGTERM; with --unplug-after-blocks, writes an empty line to UDC-FILE (unbinding\n"
    "           the gadget, as if the meter were pulled out) when the host asks for download\n"
    "           block N+1, and ends. --level holds the meter's level at TENTHS of a dB (0 to\n"
    "           9999). --late-answer sends the first half of the reports of the answer to\n"
    "           command frame N (counted from 1) at once and the rest 250 ms later, longer than\n"
    "           the host waits for a report (an answer of one report comes late as a whole);\n"
    "           --extra-report sends one report of 0xEE bytes after the answer to frame N\n";

// How late the rest of a late answer comes: longer than the host's 100 ms read time-out.
constexpr int kLateAnswerMs = 250;

volatile sig_atomic_t stopRequested = 0;
void onStop(int) { stopRequested = 1; }

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool parseLength(const QString& text, int& length) {
    bool ok = false;
    length = text.toInt(&ok);
    return ok && length >= 1 && length <= 255;
}

int writeDescriptor(int length) {
    const std::vector<uint8_t> d = vendorReportDescriptor(length, length);
    return std::fwrite(d.data(), 1, d.size(), stdout) == d.size() ? 0 : 1;
}

// Records at one sample a second on a manual clock until the simulated logger is full, and
// writes the memory as the download would save it.
int writeFullImage(const QString& path) {
    ManualClock clock;
    SimulatedMeter meter(clock, SimulatedMeter::Options{});
    meter.open(kMeterVendorId, kMeterProductId);
    CommandFrame frame{};
    setLetter(frame, Cmd::KeyRec);
    meter.write(7, frame.data());
    clock.advance(int64_t{SimulatedMeter::kMemoryCapacity} * 1000);
    setLetter(frame, Cmd::Status);
    meter.write(7, frame.data());  // the meter catches up on the samples due by now
    if (!meter.memoryFull()) {
        std::fprintf(stderr, "kl516-hid-gadget: the logger did not fill\n");
        return 1;
    }
    // As much as a download fetches, cut where the download would cut it.
    const std::vector<uint8_t>& memory = meter.memory();
    const auto fetched = std::span<const uint8_t>(memory).first(
        size_t(downloadTotal(int32_t(meter.lastAddress()))));
    const qsizetype length = collectionLength(fetched);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(memory.data()), length) != length) {
        std::fprintf(stderr, "kl516-hid-gadget: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}

bool writeAll(int fd, const uint8_t* bytes, size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, bytes, length);
        if (n < 0 && errno == EINTR && !stopRequested) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= size_t(n);
    }
    return true;
}

struct ServeOptions {
    QString device;
    int length = 0;
    SimulatedMeter::Options meter;
    int unplugAfterBlocks = -1;
    QString udcFile;
    long lateAnswer = -1;   // command frame whose answer comes partly or wholly late
    long extraReport = -1;  // command frame whose answer is followed by one report unasked
};

void sleepMs(int ms) {
    timespec rest{ms / 1000, long(ms % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR && !stopRequested) {
    }
}

int serve(const ServeOptions& o) {
    const int fd = ::open(o.device.toLocal8Bit().constData(), O_RDWR);
    if (fd < 0) {
        std::fprintf(stderr, "kl516-hid-gadget: cannot open %s: %s\n", qPrintable(o.device),
                     std::strerror(errno));
        return 1;
    }
    SystemClock clock;
    SimulatedMeter meter(clock, o.meter);
    meter.open(kMeterVendorId, kMeterProductId);
    std::fprintf(stderr, "kl516-hid-gadget: serving %d-byte reports on %s\n", o.length,
                 qPrintable(o.device));

    long frames = 0, answers = 0, blocks = 0, rejected = 0, downloadBlocks = 0;
    bool clockBlockDue = false;
    std::vector<uint8_t> block;
    uint8_t report[4096];
    std::vector<uint8_t> input(size_t(o.length));
    int result = 0;
    while (!stopRequested) {
        const ssize_t n = ::read(fd, report, sizeof report);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "kl516-hid-gadget: read failed: %s\n",
                         n < 0 ? std::strerror(errno) : "end of file");
            result = 1;
            break;
        }
        if (n != o.length) {
            ++rejected;
            std::fprintf(stderr, "kl516-hid-gadget: rejected an output report of %zd bytes\n", n);
            continue;
        }
        if (clockBlockDue) {
            // The block after a clock command, in as many reports as it takes.
            const size_t take = std::min<size_t>(size_t(n), 32 - block.size());
            block.insert(block.end(), report, report + take);
            if (block.size() < 32) continue;
            clockBlockDue = false;
            ++blocks;
            meter.writeBlock(32, block.data());
            std::fprintf(stderr, "kl516-hid-gadget: meter clock set to %s\n",
                         qPrintable(meter.meterTime().toString(Qt::ISODate)));
            continue;
        }
        const char letter = char(report[1]);
        if (letter == Cmd::DownloadNext && o.unplugAfterBlocks >= 0 &&
            downloadBlocks++ >= o.unplugAfterBlocks) {
            std::fprintf(stderr, "kl516-hid-gadget: unplugged after %d download blocks\n",
                         o.unplugAfterBlocks);
            QFile udc(o.udcFile);
            if (!udc.open(QIODevice::WriteOnly) || udc.write("\n") != 1) {
                std::fprintf(stderr, "kl516-hid-gadget: cannot write %s\n", qPrintable(o.udcFile));
                result = 1;
            }
            break;
        }
        ++frames;
        meter.write(7, report);
        if (letter == Cmd::SetClock) {
            clockBlockDue = true;
            block.clear();
        }
        ResponseFrame answer{};
        if (meter.read(32, answer.data()) != 0) continue;  // nothing to answer
        ++answers;
        const size_t reports = (answer.size() + input.size() - 1) / input.size();
        const size_t onTime = frames == o.lateAnswer ? reports / 2 : reports;
        bool written = true;
        for (size_t r = 0; r < reports && written; ++r) {
            if (r == onTime) {
                std::fprintf(stderr,
                             "kl516-hid-gadget: answering frame %ld late: %zu of %zu reports "
                             "after %d ms\n",
                             frames, reports - onTime, reports, kLateAnswerMs);
                sleepMs(kLateAnswerMs);
            }
            const size_t at = r * input.size();
            std::fill(input.begin(), input.end(), 0);
            std::copy_n(answer.begin() + ptrdiff_t(at), std::min(input.size(), answer.size() - at),
                        input.begin());
            written = writeAll(fd, input.data(), input.size());
        }
        if (written && frames == o.extraReport) {
            std::fill(input.begin(), input.end(), uint8_t{0xEE});
            written = writeAll(fd, input.data(), input.size());
            std::fprintf(stderr, "kl516-hid-gadget: sent one report unasked after frame %ld\n",
                         frames);
        }
        if (!written && !stopRequested)
            std::fprintf(stderr, "kl516-hid-gadget: write failed: %s\n", std::strerror(errno));
    }
    ::close(fd);
    std::fprintf(stderr,
                 "kl516-hid-gadget: %ld frames, %ld answers, %ld clock blocks, %ld rejected\n",
                 frames, answers, blocks, rejected);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) return usage();
    const QString command = args.takeFirst();
    int length = 0;
    if (command == QLatin1String("descriptor")) {
        if (args.size() != 1 || !parseLength(args[0], length)) return usage();
        return writeDescriptor(length);
    }
    if (command == QLatin1String("full-image")) {
        if (args.size() != 1) return usage();
        return writeFullImage(args[0]);
    }
    if (command != QLatin1String("serve") || args.size() < 2) return usage();

    ServeOptions o;
    o.device = args.takeFirst();
    if (!parseLength(args.takeFirst(), o.length)) return usage();
    o.meter.demoLogger = true;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--sim-empty")) {
            o.meter.demoLogger = false;
        } else if (option == QLatin1String("--sim-memory") && !args.isEmpty()) {
            const QString path = args.takeFirst();
            o.meter.initialImage = SimulatedMeter::readImageFile(path);
            if (o.meter.initialImage.isEmpty()) {
                std::fprintf(stderr, "kl516-hid-gadget: cannot read %s\n", qPrintable(path));
                return 1;
            }
        } else if (option == QLatin1String("--unplug-after-blocks") && args.size() >= 2) {
            bool ok = false;
            o.unplugAfterBlocks = args.takeFirst().toInt(&ok);
            o.udcFile = args.takeFirst();
            if (!ok || o.unplugAfterBlocks < 0) return usage();
        } else if ((option == QLatin1String("--late-answer") ||
                    option == QLatin1String("--extra-report")) &&
                   !args.isEmpty()) {
            bool ok = false;
            const long frame = args.takeFirst().toLong(&ok);
            if (!ok || frame < 1) return usage();
            (option == QLatin1String("--late-answer") ? o.lateAnswer : o.extraReport) = frame;
        } else if (option == QLatin1String("--level") && !args.isEmpty()) {
            bool ok = false;
            o.meter.fixedLevelTenths = args.takeFirst().toInt(&ok);
            if (!ok || o.meter.fixedLevelTenths < 0 || o.meter.fixedLevelTenths > 9999)
                return usage();
        } else {
            return usage();
        }
    }

    // No SA_RESTART: SIGTERM interrupts the blocking read so that the counts get printed.
    struct sigaction stop {};
    stop.sa_handler = onStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    return serve(o);
}
