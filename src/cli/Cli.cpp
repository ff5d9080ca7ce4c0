#include "cli/Cli.h"

#include "cli/AssessCommand.h"
#include "cli/CommandLine.h"
#include "cli/FileCommands.h"
#include "cli/LeqCommand.h"
#include "cli/LiveCommand.h"
#include "cli/MeterBackend.h"
#include "cli/MonitorCommand.h"
#include "cli/ReportCommand.h"
#include "cli/ServiceCommands.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <algorithm>
#include <memory>
#include <vector>

#include "dataset/DataSetTable.h"
#include "formats/PointText.h"
#include "formats/SafeWrite.h"
#include "kl516/version.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/CollectionFile.h"
#include "logger/Download.h"
#include "logger/MemoryParser.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

// What the commands run on: the output streams, the clock and the devices handed in.
struct Env {
    QTextStream& out;
    QTextStream& err;
    Clock& clock;
    const CliDevices& devices;
};

// The simulation options make sense only together with --simulate, and only one memory at once.
// The message when they do not, or an empty one.
QString simulationOptionsFault(const CliArguments& a) {
    const bool memory = a.isSet("sim-memory"), empty = a.isSet("sim-empty");
    if ((memory || empty) && !a.isSet("simulate"))
        return QLatin1String(empty ? "--sim-empty" : "--sim-memory") +
               QStringLiteral(" needs --simulate");
    if (memory && empty) return QStringLiteral("--sim-memory and --sim-empty exclude each other");
    return {};
}

std::unique_ptr<MeterBackend> makeBackend(const CliArguments& a, const Env& env) {
    std::optional<SimulatedMeter::Options> sim;
    if (a.isSet("simulate")) {
        sim.emplace();
        if (a.isSet("sim-memory")) {
            const QString path = a.value("sim-memory");
            sim->initialImage = SimulatedMeter::readImageFile(path);
            if (sim->initialImage.isEmpty()) {
                env.err << "error: cannot read the simulated memory " << path << ": "
                        << (QFileInfo(path).size() == 0 && QFileInfo(path).isFile()
                                ? QStringLiteral("the file is empty")
                                : readFailureReason(path))
                        << "\n";
                return nullptr;
            }
        }
        sim->demoLogger = !a.isSet("sim-empty");
    }
    return openMeterBackend(sim, env.clock, env.devices, a.value("trace"), env.err,
                            meterSelectionFrom(a));
}

// The attached meters, one line each; none is a failure, said on err.
int listMeters(const CliArguments& a, Env& env) {
    std::optional<SimulatedMeter::Options> sim;
    if (a.isSet("simulate")) sim.emplace();
    const std::vector<AttachedMeter> meters = listAttachedMeters(sim, env.clock, env.devices);
    if (meters.empty()) {
        env.err << noSelectedMeterText({}) << "\n";
        return 1;
    }
    env.out << "device\tserial\topenable\n";
    for (const AttachedMeter& m : meters)
        env.out << m.device << "\t" << (m.serial.isEmpty() ? QStringLiteral("-") : m.serial) << "\t"
                << (m.openable ? "yes" : "no") << "\n";
    return 0;
}

// The text for a link, download or parse result. For a collection file, the set count that its
// header gives is blamed on the file; the meter's empty logger keeps the Load Data message.
QString resultMessage(int32_t code, bool fromFile = false) {
    switch (code) {
        case LinkResult::NoAnswer:
            return QStringLiteral("the meter did not answer");
        case LinkResult::BadInfoFraming:
            return QStringLiteral("the memory information response was not framed 04 ... 05");
        case LinkResult::BlockRequestFailed:
            return QStringLiteral("writing a memory block request failed");
        case LinkResult::BlockReadFailed:
            return QStringLiteral("reading a memory block failed");
        case LinkResult::CloseRequestFailed:
            return QStringLiteral("writing the end of the transfer failed");
        case LinkResult::TransferShort:
            return QStringLiteral(
                "the transfer stopped with less than half of the memory received");
        case ParseResult::NoSets:
            return fromFile
                       ? collectionResultMessage(code)
                       : QStringLiteral("There was not any data recorded in memory of meter !");
        case ParseResult::TooManySets:
            return fromFile
                       ? collectionResultMessage(code)
                       : QStringLiteral("the logger memory says it holds more than 4000 data sets");
        case ParseResult::BadMarks:
        case ParseResult::EndPastLastAddress:
        case ParseResult::StartTimeNotStored:
            return collectionResultMessage(code);
        default: {
            const QString link = linkResultMessage(code);
            return link.isEmpty() ? QStringLiteral("unexpected result") : link;
        }
    }
}

void reportResult(QTextStream& err, const char* kind, int32_t code, bool fromFile = false) {
    err << kind << " " << code << ": " << resultMessage(code, fromFile) << "\n";
}

int probeMeter(MeterLink& link, QTextStream& out, QTextStream& err) {
    // The presence check that starts every link transaction: without a meter it fails, and the
    // probe reports what the transactions report then.
    if (!link.checkPresence()) {
        reportResult(err, "error", LinkResult::NoAnswer);
        return 1;
    }
    if (!link.exchangeShort(Cmd::Identify)) {
        reportResult(err, "error", LinkResult::ReadFailed);
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
        reportResult(err, "error", LinkResult::ReadFailed);
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

int probe(const CliArguments& a, Env& env) {
    if (const QString fault = simulationOptionsFault(a); !fault.isEmpty())
        return cliWrongUse(env.err, *a.command, fault);
    auto backend = makeBackend(a, env);
    if (!backend) return 1;
    IdleLinkHost host;
    MeterLink link(backend->library(), env.clock, host);
    const int status = probeMeter(link, env.out, env.err);
    link.closeDevice();
    return status;
}

// A progress bar on the error stream, redrawn only when it changes.
class BarProgress final : public DownloadProgress {
  public:
    explicit BarProgress(QTextStream& err) : err_(err) {}
    void start(int32_t total) override {
        total_ = total;
        started_ = true;
        draw(0);
    }
    void received(int32_t count) override {
        const int filled = total_ > 0 ? int(int64_t{count} * kWidth / total_) : kWidth;
        if (filled != filled_ || count == total_) draw(count);
    }
    void finish() override {
        if (started_) err_ << "\n";
        err_.flush();
    }

  private:
    static constexpr int kWidth = 40;
    void draw(int32_t count) {
        filled_ = total_ > 0 ? int(int64_t{count} * kWidth / total_) : kWidth;
        err_ << "\r[" << QString(filled_, QLatin1Char('#'))
             << QString(kWidth - filled_, QLatin1Char(' ')) << "] " << count << "/" << total_
             << " bytes";
        err_.flush();
    }
    QTextStream& err_;
    int32_t total_ = 0;
    int filled_ = -1;
    bool started_ = false;
};

int download(const CliArguments& a, Env& env) {
    QTextStream& out = env.out;
    QTextStream& err = env.err;
    if (const QString fault = simulationOptionsFault(a); !fault.isEmpty())
        return cliWrongUse(err, *a.command, fault);
    const QString target = a.value("out");
    // A download takes a while: a file that cannot be written is said before it.
    if (!outputWritable(target, err)) return 1;
    auto backend = makeBackend(a, env);
    if (!backend) return 1;
    IdleLinkHost host;
    MeterLink link(backend->library(), env.clock, host);
    LoggerImage image;
    int32_t lastAddress = 0;
    BarProgress progress(err);
    const int32_t r = downloadMemory(link, host, image, lastAddress, &progress);
    if (r != LinkResult::Success) {
        // As after a failed Load Data: get the meter back in step, ignoring the outcome.
        link.prepareRead();
        setLetter(link.mainBuffer(), Cmd::Resync);
        link.writeFrame(link.mainBuffer());
        link.closeDevice();
        reportResult(err, "error", r);
        return 1;
    }
    link.closeDevice();

    DataSetTable table;
    const int32_t p =
        parseImage(image, lastAddress, env.clock.now(), table, nullptr, QLocale::system());
    if (!parseInstalledTable(p)) {
        reportResult(err, "error", p);
        return 1;
    }
    const qsizetype length = collectionLength(image, table);
    QString reason;
    if (!saveFileAtomically(target, reinterpret_cast<const char*>(image.data()), length, &reason)) {
        err << "error: " << fileWriteError(target, reason) << "\n";
        return 1;
    }
    out << "downloaded " << image.size() << " bytes, wrote " << length << " bytes, "
        << table.setCount() << " data sets\n";
    if (p == ParseResult::StartTimeNotStored) {
        reportResult(err, "error", p);
        return 1;
    }
    if (p != ParseResult::Ok) reportResult(err, "warning", p);
    return 0;
}

// A collection file read and parsed.
struct Collection {
    LoggerImage image;
    DataSetTable table;
    QList<QStringList> rows;
    int32_t result = 0;
};

// Reads and parses the collection file at path.
bool loadCollection(const QString& path, const QLocale& locale, Env& env, Collection& c) {
    int32_t lastAddress = 0;
    switch (readCollectionFile(path, c.image, lastAddress)) {
        case CollectionStatus::Ok:
            break;
        case CollectionStatus::Unreadable:
            env.err << "error: cannot read " << path << ": " << readFailureReason(path) << "\n";
            return false;
        case CollectionStatus::Empty:
            env.err << "error: " << path << " is empty\n";
            return false;
        case CollectionStatus::TooShort:
            env.err << "error: " << path << " is too short for a logger image\n";
            return false;
        case CollectionStatus::TooLarge:
            env.err << "error: " << path << " is too large for a logger image\n";
            return false;
    }
    // Start times whose fields are not a valid date are repaired from the current time.
    c.result = parseImage(c.image, lastAddress, env.clock.now(), c.table, &c.rows, locale);
    if (collectionMayBeCutShort(qint64(c.image.size()), lastAddress))
        env.err << "warning: "
                << collectionCutShortMessage(path, qint64(c.image.size()), lastAddress) << "\n";
    return true;
}

std::vector<bool> repairedStartTimes(const Collection& c) {
    return kl516::repairedStartTimes(c.image, c.table);
}

int listSets(const CliArguments& a, Env& env) {
    const bool iso = a.isSet("iso");
    QLocale locale = iso ? QLocale::c() : QLocale::system();
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    Collection c;
    if (!loadCollection(a.positional.front(), locale, env, c)) return 1;
    env.out << "result " << c.result << "\n";
    if (!parseInstalledTable(c.result)) {
        reportResult(env.err, "error", c.result, true);
        return 1;
    }
    const DataSetTable& table = c.table;
    const std::vector<bool> repaired = repairedStartTimes(c);
    for (int s = 0; s < table.setCount(); ++s) {
        QStringList fields = c.rows[s];
        if (iso)
            fields[1] =
                fromSerialDateTime(table.startTimes()[size_t(s)]).date().toString(Qt::ISODate);
        if (repaired[size_t(s)]) {
            fields[1] += QLatin1Char('*');
            fields[2] += QLatin1Char('*');
        }
        fields << QString::number(table.maxIndexes()[size_t(s)])
               << QString::number(table.minIndexes()[size_t(s)])
               << locale.toString(table.averages()[size_t(s)], 'f', 3);
        env.out << fields.join(QLatin1Char('\t')) << "\n";
    }
    if (c.result != ParseResult::Ok) reportResult(env.err, "error", c.result, true);
    if (const QString message = repairedStartTimesMessage(repaired); !message.isEmpty())
        env.err << "warning: " << message << " (marked *)\n";
    return c.result == ParseResult::Ok ? 0 : 1;
}

// Reads the collection file `in` for its data set setNumber (from 1). False, with the message on
// err, when the file cannot be read, holds no parsed table or no such set.
bool loadCollectionSet(const QString& in, int setNumber, const QLocale& locale, Env& env,
                       Collection& c) {
    if (!loadCollection(in, locale, env, c)) return false;
    if (!parseInstalledTable(c.result)) {
        reportResult(env.err, "error", c.result, true);
        return false;
    }
    if (setNumber < 1 || setNumber > c.table.setCount()) {
        env.err << "error: there is no data set " << setNumber << "; the file holds "
                << c.table.setCount() << "\n";
        return false;
    }
    return true;
}

// The times and levels of a collection file's set, for assess, report and plot (`command`).
// Only a whole set is read: a damaged file fails. A start time the parser made up fails assess,
// whose day and night periods would hang on the clock; report and plot draw the set on the
// made-up times, as the graph window shows it, and say so.
int readCollectionSet(const QString& in, int setNumber, const QString& command, Env& env,
                      std::vector<double>& times, std::vector<float>& levels) {
    Collection c;
    if (!loadCollectionSet(in, setNumber, QLocale::c(), env, c)) return 1;
    if (c.result != ParseResult::Ok) {
        reportResult(env.err, "error", c.result, true);
        return 1;
    }
    const int s = setNumber - 1;
    if (repairedStartTimes(c)[size_t(s)]) {
        if (command == QLatin1String("assess")) {
            env.err << "error: the start time of data set " << setNumber
                    << " is not a valid date and time in the file; nothing was assessed\n";
            return 1;
        }
        env.err << "warning: the start time of data set " << setNumber
                << " is not a valid date and time in the file; the " << command
                << " counts its times from the current date and time\n";
    }
    const auto t = c.table.setTimes(s);
    const auto l = c.table.setLevels(s);
    times.assign(t.begin(), t.end());
    levels.assign(l.begin(), l.end());
    return 0;
}

// Writes set number `set` of the collection file `in` as point text into target (export, and
// convert of a collection file). command: whose usage a wrong --set shows.
int exportSet(const QString& in, const QString& set, const QString& target, bool iso,
              const CliCommand& command, Env& env) {
    QTextStream& out = env.out;
    QTextStream& err = env.err;
    bool numeric = false;
    const int setNumber = set.toInt(&numeric);
    if (!numeric)
        return cliWrongUse(err, command, QStringLiteral("--set needs a number, not ") + set);
    if (!outputWritable(target, err)) return 1;
    const QLocale locale = iso ? QLocale::c() : QLocale::system();
    Collection c;
    if (!loadCollectionSet(in, setNumber, locale, env, c)) return 1;
    const DataSetTable& table = c.table;
    const int s = setNumber - 1;
    const auto times = table.setTimes(s);
    const auto levels = table.setLevels(s);
    const FileWriteResult written =
        writePointTextFile(target, times, levels, textFileSeparator(target), locale,
                           iso ? PointDateStyle::Iso : PointDateStyle::Locale);
    if (!written.ok()) {
        err << "error: " << written.error << "\n";
        return 1;
    }
    out << "wrote " << levels.size() << " points of data set " << setNumber << "\n";
    if (c.result != ParseResult::Ok) reportResult(err, "error", c.result, true);
    if (repairedStartTimes(c)[size_t(s)]) {
        err << "warning: the start time of data set " << setNumber
            << " is not a valid date and time in the file; its points' times count from the"
               " current date and time\n";
    }
    return c.result == ParseResult::Ok ? 0 : 1;
}

}  // namespace

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliDevices& devices) {
    const CliArguments a = parseCliArguments(arguments);
    if (a.help) {
        if (a.command) {
            out << cliHelp(*a.command);
            return 0;
        }
        if (a.commandName.isEmpty()) {
            out << cliProgramHelp();
            return 0;
        }
    }
    if (!a.error.isEmpty()) {
        if (a.command) return cliWrongUse(err, *a.command, a.error);
        err << a.error << "\n" << cliProgramHelp();
        return kCliWrongUse;
    }
    if (!a.command) {  // --version alone
        out << kVersion << "\n";
        return 0;
    }

    const QString command = a.commandName;
    if (command == QLatin1String("live")) return runLiveCommand(a, out, err, devices);
    if (command == QLatin1String("monitor")) return runMonitorCommand(a, out, err, devices);
    if (command == QLatin1String("leq")) return runLeqCommand(a, out, err, devices);
    if (isServiceCommand(command)) return runServiceCommand(a, out, err, devices);
    SystemClock systemClock;
    Env env{out, err, devices.clock ? *devices.clock : systemClock, devices};
    if (command == QLatin1String("probe")) return probe(a, env);
    if (command == QLatin1String("list")) return listMeters(a, env);
    if (command == QLatin1String("download")) return download(a, env);
    if (command == QLatin1String("sets")) return listSets(a, env);
    if (command == QLatin1String("paths")) return runPathsCommand(out);
    if (command == QLatin1String("assess")) {
        return runAssessCommand(a, out, err,
                                [&](const QString& in, int set, std::vector<double>& times,
                                    std::vector<float>& levels) {
                                    return readCollectionSet(in, set, command, env, times, levels);
                                });
    }
    if (command == QLatin1String("report") || command == QLatin1String("plot")) {
        const ReadCollectionSeries readSet = [&](const QString& in, int set,
                                                 std::vector<double>& times,
                                                 std::vector<float>& levels) {
            return readCollectionSet(in, set, command, env, times, levels);
        };
        const GraphDrawing* drawing = env.devices.drawing;
        return command == QLatin1String("report") ? runReportCommand(a, out, err, readSet, drawing)
                                                  : runPlotCommand(a, out, err, readSet, drawing);
    }
    const bool iso = a.isSet("iso");
    if (command == QLatin1String("convert")) {
        // A collection file's set is written as export writes it.
        return runConvertCommand(a.positional[0], a.positional[1], a.value("set"), iso, out, err,
                                 [&](const QString& in, const QString& target) {
                                     return exportSet(in, a.value("set"), target, iso, *a.command,
                                                      env);
                                 });
    }
    const QString target = a.value("out");
    if (!csvCanHoldDecimals(target, iso, QLocale::system(), err)) return kCliWrongUse;
    return exportSet(a.positional.front(), a.value("set"), target, iso, *a.command, env);
}

}  // namespace kl516
