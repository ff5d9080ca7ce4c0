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

const char* const kCommonHelp =
    "  --simulate         use the built-in simulated meter (holding four demonstration data\n"
    "                     sets) instead of the meter on USB\n"
    "  --trace FILE       log every frame to and from the meter in FILE (appended)\n";

struct ServiceCommand {
    const char* name;
    int positional;  // how many arguments follow the command name
    QStringList options;
    const char* usage;
    const char* description;
    const char* optionHelp;
};

const ServiceCommand kServiceCommands[] = {
    {"info", 0, {}, "usage: kl516-cli info [--simulate] [--trace FILE]\n",
     "Reads the logger information: meter time, recording interval, free sample places, data\n"
     "sets, firmware version, serial number and the calibration values.\n",
     ""},
    {"set-clock", 0, {}, "usage: kl516-cli set-clock [--simulate] [--trace FILE]\n",
     "Sets the meter's clock to the computer's local date and time.\n", ""},
    {"set-interval", 1, {}, "usage: kl516-cli set-interval MM:SS [--simulate] [--trace FILE]\n",
     "Sets the logger's recording interval, 00:00 to 01:00 (60 s). The meter takes it over\n"
     "when it is switched off and on again.\n",
     ""},
    {"erase", 0, {"--yes"}, "usage: kl516-cli erase [--yes] [--simulate] [--trace FILE]\n",
     "Erases the logger memory. Without --yes it asks first, on a terminal only: when standard\n"
     "input is not a terminal it refuses.\n",
     "  --yes              erase without asking\n"},
    {"config-read", 1, {}, "usage: kl516-cli config-read ADDR [--simulate] [--trace FILE]\n",
     "Reads one byte of the meter's configuration memory and prints it in decimal. ADDR is\n"
     "0 to 16777215 (0xFFFFFF), decimal or hexadecimal written $0F or 0x0F.\n",
     ""},
    {"config-write", 2, {"--code"},
     "usage: kl516-cli config-write ADDR BYTE --code CODE [--simulate] [--trace FILE]\n",
     "Writes one byte (0 to 255) of the meter's configuration memory at ADDR (0 to 16777215,\n"
     "decimal or hexadecimal written $0F or 0x0F). Needs the service access code; a wrong\n"
     "code sends nothing. A wrong byte at the wrong address can make the meter unusable.\n",
     "  --code CODE        the service access code\n"},
};

const ServiceCommand* findServiceCommand(const QString& name) {
    for (const ServiceCommand& c : kServiceCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

bool takesValue(const QString& option) {
    return option == QLatin1String("--trace") || option == QLatin1String("--code") ||
           option == QLatin1String("--out") || option == QLatin1String("--set") ||
           option == QLatin1String("--sim-memory");
}

QString commandName(const QStringList& args) {
    for (int i = 0; i < args.size(); ++i) {
        if (takesValue(args[i])) {
            ++i;
            continue;
        }
        if (!args[i].startsWith(QLatin1Char('-'))) return args[i];
    }
    return {};
}

struct ServiceOptions {
    const ServiceCommand* command = nullptr;
    QStringList positional;
    bool help = false;
    bool simulate = false;
    bool yes = false;
    bool codeGiven = false;
    QString code;
    QString traceFile;
    QString error;
};

ServiceOptions parseServiceOptions(const QStringList& args) {
    ServiceOptions o;
    const auto fail = [&](const QString& text) {
        if (o.error.isEmpty()) o.error = text;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.help = true;
        } else if (a == QLatin1String("--simulate")) {
            o.simulate = true;
        } else if (a == QLatin1String("--yes")) {
            o.yes = true;
        } else if (a == QLatin1String("--trace") || a == QLatin1String("--code")) {
            if (i + 1 >= args.size()) {
                fail(QStringLiteral("%1 needs a value").arg(a));
                continue;
            }
            (a == QLatin1String("--trace") ? o.traceFile : o.code) = args[++i];
            if (a == QLatin1String("--code")) o.codeGiven = true;
        } else if (!o.command && !a.startsWith(QLatin1Char('-'))) {
            o.command = findServiceCommand(a);
        } else if (!a.startsWith(QLatin1Char('-')) || (o.command && a.size() > 1 && a[1].isDigit())) {
            o.positional << a;  // a negative number is a value, refused later with its message
        } else {
            fail(QStringLiteral("unknown argument: %1").arg(a));
        }
    }
    if (!o.command) return o;
    if ((o.yes && !o.command->options.contains(QStringLiteral("--yes"))) ||
        (o.codeGiven && !o.command->options.contains(QStringLiteral("--code"))))
        fail(QStringLiteral("%1 takes no %2").arg(QLatin1String(o.command->name),
                                                  o.yes ? QStringLiteral("--yes")
                                                        : QStringLiteral("--code")));
    if (o.positional.size() != o.command->positional)
        fail(o.positional.size() > o.command->positional
                 ? QStringLiteral("unexpected argument: %1").arg(o.positional.last())
                 : QStringLiteral("%1 needs more arguments").arg(QLatin1String(o.command->name)));
    return o;
}

// The meter the command talks to; the simulated one starts with its demonstration logger.
std::unique_ptr<MeterBackend> openMeter(const ServiceOptions& o, Clock& clock,
                                        const CliDevices& devices, QTextStream& err) {
    std::optional<SimulatedMeter::Options> sim;
    if (o.simulate) {
        sim.emplace();
        sim->demoLogger = true;
    }
    return openMeterBackend(sim, clock, devices, o.traceFile, err);
}

// The end of an operation: its message on stdout for success, else "error N: ..." on stderr.
// A result the window shows nothing for still gets a reason here.
int finish(SetupOperation operation, int32_t result, QTextStream& out, QTextStream& err) {
    QString text = setupMessage(operation, result);
    if (result == LinkResult::Success) {
        out << text;
        if (!text.endsWith(QLatin1Char('\n'))) out << "\n";
        return 0;
    }
    if (operation == SetupOperation::SetClock && linkResultMessage(result).size())
        text += QStringLiteral(" (") + linkResultMessage(result) + QLatin1Char(')');
    if (text.isEmpty())
        text = result == LinkResult::NoAnswer ? QStringLiteral("the meter did not answer")
                                              : QStringLiteral("unexpected result");
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

bool confirmErase(const ServiceConsole& console, QTextStream& err) {
    if (!console.interactive || !console.in) {
        err << "erase needs --yes when standard input is not a terminal; nothing was erased\n";
        return false;
    }
    err << "Are you sure to erase memory ? [y/N] ";
    err.flush();
    const QString answer = console.in->readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

}  // namespace

bool isServiceCommand(const QStringList& arguments) {
    return findServiceCommand(commandName(arguments)) != nullptr;
}

int runServiceCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                      const CliDevices& devices, const ServiceConsole* console) {
    const ServiceOptions o = parseServiceOptions(arguments);
    if (!o.command) {
        err << "unknown command: " << commandName(arguments) << "\n";
        return 2;
    }
    const ServiceCommand& c = *o.command;
    if (o.help) {
        out << c.usage << "\n" << c.description << "\n" << c.optionHelp << kCommonHelp;
        return 0;
    }
    if (!o.error.isEmpty()) {
        err << o.error << "\n" << c.usage;
        return 2;
    }
    const QString name = QLatin1String(c.name);

    // Everything typed is checked before the meter is touched.
    std::optional<int> interval;
    ConfigField address, data;
    if (name == QLatin1String("set-interval")) {
        const QStringList parts = o.positional.front().split(QLatin1Char(':'));
        if (parts.size() == 2) interval = recordingIntervalFrom(parts[0], parts[1]);
        if (!interval) {
            err << "error " << LinkResult::InvalidInput << ": " << SetupText::InvalidInput
                << " (MM:SS, 00:00 to 01:00)\n";
            return 2;
        }
    } else if (name == QLatin1String("config-write")) {
        if (!o.codeGiven) {
            err << "config-write needs --code CODE\n" << c.usage;
            return 2;
        }
        if (!accessCodeAccepted(o.code)) {
            err << SetupText::PasswordError << "\n";
            return 1;
        }
        address = configAddressFrom(o.positional[0]);
        data = configDataFrom(o.positional[1]);
    } else if (name == QLatin1String("config-read")) {
        address = configAddressFrom(o.positional[0]);
    }
    for (const ConfigField* f : {&address, &data}) {
        if (!f->ok()) {
            err << f->error << "\n";
            return 2;
        }
    }
    std::unique_ptr<QTextStream> stdinStream;
    ServiceConsole terminal;
    if (name == QLatin1String("erase") && !o.yes) {
        if (!console) {
            stdinStream = std::make_unique<QTextStream>(stdin);
            terminal = {isatty(fileno(stdin)) != 0, stdinStream.get()};
            console = &terminal;
        }
        if (!confirmErase(*console, err)) return console->interactive ? 1 : 2;
    }

    SystemClock systemClock;
    Clock& clock = devices.clock ? *devices.clock : systemClock;
    auto meter = openMeter(o, clock, devices, err);
    if (!meter) return 1;
    IdleLinkHost host;
    MeterLink link(meter->library(), clock, host);
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
