#include "cli/ServiceCommands.h"

#include "cli/MeterBackend.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

#include "link/Clock.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "logger/SetupOperations.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

// The meter the command talks to; the simulated one starts with its demonstration logger.
std::unique_ptr<MeterBackend> openMeter(const CliArguments& a, Clock& clock,
                                        const CliDevices& devices, QTextStream& err) {
    std::optional<SimulatedMeter::Options> sim;
    if (a.isSet("simulate")) {
        sim.emplace();
        sim->demoLogger = true;
    }
    return openMeterBackend(sim, clock, devices, a.value("trace"), err, meterSelectionFrom(a));
}

// The end of an operation: its message on stdout for success, else "error N: ..." on stderr.
// A result the window shows nothing for still gets a reason here, and no meter reads the same
// in every command of the tool.
int finish(SetupOperation operation, int32_t result, QTextStream& out, QTextStream& err) {
    if (result == LinkResult::NoAnswer) {
        err << "error " << result << ": the meter did not answer\n";
        return 1;
    }
    QString text = setupMessage(operation, result);
    if (result == LinkResult::Success) {
        out << text;
        if (!text.endsWith(QLatin1Char('\n'))) out << "\n";
        return 0;
    }
    if (operation == SetupOperation::SetClock && linkResultMessage(result).size())
        text += QStringLiteral(" (") + linkResultMessage(result) + QLatin1Char(')');
    if (text.isEmpty()) text = QStringLiteral("unexpected result");
    err << "error " << result << ": " << text << "\n";
    return 1;
}

void printInformation(const LoggerInformation& info, QTextStream& out) {
    const std::pair<const char*, const QString*> fields[] = {
        {"Meter Time:", &info.meterTime},       {"Recording Interval:", &info.interval},
        {"Memory Available:", &info.memoryAvailable}, {"Data Sets In Memory:", &info.dataSets},
        {"FirmWare Version:", &info.version},   {"SN:", &info.serial},
        {"94dB cali:", &info.cal94dB},          {"70dB cali", &info.cal70dB},
        {"60dB cali", &info.cal60dB},           {"40dB cali", &info.cal40dB},
        {"30dB cali", &info.cal30dB}};
    for (const auto& [label, value] : fields)
        out << QStringLiteral("%1 ").arg(QLatin1String(label), -20) << *value << "\n";
}

bool confirmErase(const CliConsole& console, QTextStream& err) {
    if (!console.interactive || !console.in) {
        err << "erase needs --yes when standard input is not a terminal; nothing was erased\n";
        return false;
    }
    err << "Are you sure to erase memory ? [y/N] ";
    err.flush();
    const QString answer = console.in->readLine().trimmed().toLower();
    if (answer == QLatin1String("y") || answer == QLatin1String("yes")) return true;
    err << "nothing was erased\n";
    return false;
}

}  // namespace

bool isServiceCommand(const QString& command) {
    for (const char* name :
         {"info", "set-clock", "set-interval", "erase", "config-read", "config-write"})
        if (command == QLatin1String(name)) return true;
    return false;
}

int runServiceCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                      const CliDevices& devices) {
    const QString name = a.commandName;

    // Everything typed is checked before the meter is touched, and the access code only
    // once the address and the byte are right.
    std::optional<int> interval;
    ConfigField address, data;
    if (name == QLatin1String("set-interval")) {
        const QStringList parts = a.positional.front().split(QLatin1Char(':'));
        if (parts.size() == 2) interval = recordingIntervalFrom(parts[0], parts[1]);
        if (!interval) {
            err << "error " << LinkResult::InvalidInput << ": " << SetupText::InvalidInput
                << " (MM:SS, 00:00 to 01:00)\n";
            return kCliWrongUse;
        }
    } else if (name == QLatin1String("config-write")) {
        address = configAddressFrom(a.positional[0]);
        data = configDataFrom(a.positional[1]);
    } else if (name == QLatin1String("config-read")) {
        address = configAddressFrom(a.positional[0]);
    }
    for (const ConfigField* f : {&address, &data}) {
        if (!f->ok()) {
            err << f->error << "\n";
            return kCliWrongUse;
        }
    }
    if (name == QLatin1String("config-write") && !accessCodeAccepted(a.value("code"))) {
        err << SetupText::PasswordError << "\n";
        return 1;
    }
    std::unique_ptr<QTextStream> stdinStream;
    CliConsole terminal;
    const CliConsole* console = devices.console;
    if (name == QLatin1String("erase") && !a.isSet("yes")) {
        if (!console) {
            stdinStream = std::make_unique<QTextStream>(stdin);
            terminal = {isatty(fileno(stdin)) != 0, stdinStream.get()};
            console = &terminal;
        }
        if (!confirmErase(*console, err)) return console->interactive ? 1 : kCliWrongUse;
    }

    SystemClock systemClock;
    Clock& clock = devices.clock ? *devices.clock : systemClock;
    auto meter = openMeter(a, clock, devices, err);
    if (!meter) return 1;
    // A meter that does not answer is tried for up to half a minute: say so on a terminal.
    WaitNotice notice(clock, err, devices.errIsTerminal);
    IdleLinkHost host;
    MeterLink link(meter->library(), notice, host);
    int status = 1;
    if (name == QLatin1String("info")) {
        LoggerInformation info;
        const int32_t r = readLoggerInformation(link, QLocale::system(), &info);
        if (r == LinkResult::Success) printInformation(info, out);
        status = finish(SetupOperation::ReadInformation, r, out, err);
    } else if (name == QLatin1String("set-clock")) {
        status = finish(SetupOperation::SetClock, link.setMeterClock(), out, err);
    } else if (name == QLatin1String("set-interval")) {
        status = finish(SetupOperation::SetInterval, writeRecordingInterval(link, *interval), out,
                        err);
    } else if (name == QLatin1String("erase")) {
        status = finish(SetupOperation::Erase, link.eraseMemory(), out, err);
    } else if (name == QLatin1String("config-read")) {
        uint8_t value = 0;
        const int32_t r = link.readConfigByte(address.value, &value);
        if (r == LinkResult::Success) out << int(value) << "\n";
        status = finish(SetupOperation::ReadConfig, r, out, err);
    } else {
        status = finish(SetupOperation::WriteConfig,
                        link.writeConfigByte(address.value, static_cast<uint8_t>(data.value),
                                             MeterLink::Echo::AddressDataBytes),
                        out, err);
    }
    link.closeDevice();
    return status;
}

}  // namespace kl516
