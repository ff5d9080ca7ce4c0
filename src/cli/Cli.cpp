#include "cli/Cli.h"

#include <memory>

#include "kl516/version.h"
#include "link/Clock.h"
#include "link/HidDeviceLibrary.h"
#include "link/LinkTrace.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

const char* const kUsage =
    "usage: kl516-cli --version\n"
    "       kl516-cli probe [--simulate] [--trace FILE]\n";

// The device library chosen by the options: the simulated meter or the real one, optionally
// behind the link trace.
struct Backend {
    SystemClock clock;
    std::unique_ptr<DeviceLibrary> device;
    std::unique_ptr<TracingDeviceLibrary> trace;
    DeviceLibrary& library() { return trace ? *trace : *device; }
};

struct Options {
    QString command;
    bool simulate = false;
    QString traceFile;
    QString error;
};

Options parseOptions(const QStringList& args) {
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--simulate")) {
            o.simulate = true;
        } else if (a == QLatin1String("--trace")) {
            if (i + 1 >= args.size()) {
                o.error = QStringLiteral("--trace needs a file name");
                return o;
            }
            o.traceFile = args[++i];
        } else if (o.command.isEmpty() && !a.startsWith(QLatin1Char('-'))) {
            o.command = a;
        } else if (a == QLatin1String("--version")) {
            o.command = a;
        } else {
            o.error = QStringLiteral("unknown argument: %1").arg(a);
            return o;
        }
    }
    return o;
}

std::unique_ptr<Backend> makeBackend(const Options& o, QTextStream& err) {
    auto b = std::make_unique<Backend>();
    if (o.simulate)
        b->device = std::make_unique<SimulatedMeter>(b->clock);
    else
        b->device = std::make_unique<HidDeviceLibrary>();
    if (!o.traceFile.isEmpty()) {
        b->trace = std::make_unique<TracingDeviceLibrary>(*b->device, o.traceFile);
        if (!b->trace->isOpen()) {
            err << "cannot write the trace file " << o.traceFile << "\n";
            return nullptr;
        }
    }
    return b;
}

void reportFailure(QTextStream& err, int32_t code) {
    QString text = linkResultMessage(code);
    if (text.isEmpty()) text = QStringLiteral("the meter did not answer");
    err << text << " (code " << code << ")\n";
}

int probe(MeterLink& link, QTextStream& out, QTextStream& err) {
    if (const int32_t r = link.openDevice(); r != LinkResult::Success) {
        reportFailure(err, r);
        return 1;
    }
    if (!link.exchangeShort(Cmd::Identify)) {
        reportFailure(err, LinkResult::ReadFailed);
        return 1;
    }
    const ResponseFrame& id = link.mainResponse();
    if (id[23] != '5' || id[24] != '8' || id[25] != '6') {
        err << "the device did not identify as a compatible meter: bytes 23..25 are "
            << hexBytes(id.data() + 23, 3) << "\n";
        return 1;
    }
    out << "identified: 586\n";
    if (!link.pollStatus()) {
        reportFailure(err, LinkResult::ReadFailed);
        return 1;
    }
    const ResponseFrame& status = link.mainResponse();
    out << "status: " << hexBytes(status.data(), 32) << "\n";
    if (status[0] != kFrameStart || status[31] != kFrameEnd) {
        err << "the status response is not framed 02 ... 03\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const Options o = parseOptions(arguments);
    if (!o.error.isEmpty() || o.command.isEmpty()) {
        if (!o.error.isEmpty()) err << o.error << "\n";
        err << kUsage;
        return 2;
    }
    if (o.command == QLatin1String("--version")) {
        out << kVersion << "\n";
        return 0;
    }
    if (o.command != QLatin1String("probe")) {
        err << "unknown command: " << o.command << "\n" << kUsage;
        return 2;
    }
    auto backend = makeBackend(o, err);
    if (!backend) return 1;
    IdleLinkHost host;
    MeterLink link(backend->library(), backend->clock, host);
    const int status = probe(link, out, err);
    link.closeDevice();
    return status;
}

}  // namespace kl516
