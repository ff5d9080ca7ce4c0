#include "cli/Cli.h"

#include "cli/MeterBackend.h"
#include "cli/FileCommands.h"
#include "cli/LeqCommand.h"
#include "cli/LiveCommand.h"
#include "cli/ServiceCommands.h"

#include <QDate>
#include <QFile>
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

const char* const kUsage =
    "usage: kl516-cli --version\n"
    "       kl516-cli probe [--simulate [--sim-memory FILE.rec | --sim-empty]] [--trace FILE]\n"
    "       kl516-cli download [--simulate [--sim-memory FILE.rec | --sim-empty]] --out FILE.rec\n"
    "                          [--trace FILE]\n"
    "       kl516-cli sets FILE.rec [--iso]\n"
    "       kl516-cli export FILE.rec --set N --out FILE.txt|FILE.csv [--iso]\n"
    "       kl516-cli convert IN OUT [--set N] [--iso]\n"
    "       kl516-cli live [--simulate] [--interval SECONDS] [--count N]\n"
    "                      [--format csv|tsv|json] [--trace FILE]\n"
    "       kl516-cli paths\n"
    "       kl516-cli leq --seconds N [--simulate] [--trace FILE] [--out FILE.txt]\n"
    "       kl516-cli info | set-clock [--simulate] [--trace FILE]\n"
    "       kl516-cli set-interval MM:SS [--simulate] [--trace FILE]\n"
    "       kl516-cli erase [--yes] [--simulate] [--trace FILE]\n"
    "       kl516-cli config-read ADDR [--simulate] [--trace FILE]\n"
    "       kl516-cli config-write ADDR BYTE --code CODE [--simulate] [--trace FILE]\n"
    "       kl516-cli [COMMAND] --help\n"
    "\n"
    "probe     checks that the meter answers and prints one status frame\n"
    "download  fetches the logger memory and writes it as a collection file\n"
    "sets      lists the data sets of a collection file\n"
    "export    writes the points of one data set as text\n"
    "convert   turns a .rec, .txt, .csv or .ghf file into point text (.txt or .csv)\n"
    "live      prints the meter's live level, one line per reading (csv, tsv or json)\n"
    "paths     prints the folders and files the program uses\n"
    "info          reads the logger information and calibration values\n"
    "set-clock     sets the meter's clock to the computer's clock\n"
    "set-interval  sets the logger's recording interval (taken over at the next power-on)\n"
    "erase         erases the logger memory\n"
    "config-read   reads one byte of the meter's configuration memory\n"
    "config-write  writes one byte of it (service access code needed)\n"
    "leq       runs a timed LEQ measurement and prints its rows\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong arguments; live also 3 when the meter was lost.\n";

const char* const kSimulationHelp =
    "  --simulate         use the built-in simulated meter instead of the meter on USB\n"
    "  --sim-memory FILE  the simulated meter's logger holds this collection file\n"
    "  --sim-empty        the simulated meter's logger is empty; without this option or\n"
    "                     --sim-memory it holds four demonstration data sets\n"
    "  --trace FILE       log every frame to and from the meter in FILE (appended)\n";

const char* const kIsoHelp =
    "  --iso              dates as yyyy-MM-dd and numbers without the system locale\n";

// A command: the options it takes, its usage line and what its help adds (the lines of the
// simulation options and of --iso come with the options).
struct Command {
    const char* name;
    QStringList options;
    const char* usage;
    const char* description;
    const char* optionHelp;
};

const Command kCommands[] = {
    {"probe",
     {"--simulate", "--sim-memory", "--sim-empty", "--trace"},
     "usage: kl516-cli probe [--simulate [--sim-memory FILE.rec | --sim-empty]] [--trace FILE]\n",
     "Checks that the meter answers status polls, identifies it (\"586\") and prints the 32\n"
     "bytes of one status frame in hex. Without a meter it fails with error 1001 after about\n"
     "1.5 s of presence checks.\n",
     ""},
    {"download",
     {"--simulate", "--sim-memory", "--sim-empty", "--trace", "--out"},
     "usage: kl516-cli download [--simulate [--sim-memory FILE.rec | --sim-empty]] --out FILE.rec\n"
     "                          [--trace FILE]\n",
     "Fetches the meter's logger memory (progress on stderr), parses it and writes it as a\n"
     "collection file. Without a meter it fails with error 1001 after 15 attempts (about 22 s);\n"
     "an empty logger fails with error 31 and writes nothing.\n",
     "  --out FILE.rec     the collection file to write\n"},
    {"sets",
     {"--iso"},
     "usage: kl516-cli sets FILE.rec [--iso]\n",
     "Lists the data sets of a collection file. The first line is \"result N\", the parse\n"
     "result; then one tab-separated line per set: number, start date, start time, interval,\n"
     "points, weighting, time weighting, range, index of the maximum, index of the minimum and\n"
     "average level. A start time that is not a valid date and time in the file is replaced by\n"
     "the current date and time and marked with \"*\". A result other than 0 (a damaged or\n"
     "foreign file) is explained on stderr, after the sets that could be read, and the exit\n"
     "status is 1.\n",
     ""},
    {"export",
     {"--iso", "--set", "--out"},
     "usage: kl516-cli export FILE.rec --set N --out FILE.txt|FILE.csv [--iso]\n",
     "Writes the points of data set N as text, one line per point: date, time and level. A\n"
     "file whose parse result is not 0 is explained on stderr, after the points were written,\n"
     "and the exit status is 1.\n",
     "  --set N            the data set, numbered from 1 as in the list of sets\n"
     "  --out FILE         the text file; .csv separates with commas, anything else with tabs\n"},
    {"convert", {"--iso", "--set"}, kConvertUsage, kConvertDescription, kConvertOptionHelp},
    {"paths", {}, kPathsUsage, kPathsDescription, ""},
};

const Command* findCommand(const QString& name) {
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

void printHelp(const Command& c, QTextStream& out) {
    out << c.usage << "\n" << c.description << "\n" << c.optionHelp;
    if (c.options.contains(QStringLiteral("--simulate"))) out << kSimulationHelp;
    if (c.options.contains(QStringLiteral("--iso"))) out << kIsoHelp;
}

struct Options {
    QString command;
    QStringList files;  // positional arguments after the command
    QStringList given;  // the options given, by name
    bool help = false;
    bool simulate = false;
    bool simEmpty = false;
    bool iso = false;
    QString traceFile;
    QString simMemory;
    QString out;
    QString set;
    QString error;  // the first fault in the arguments
};

bool isHelp(const QString& a) {
    return a == QLatin1String("--help") || a == QLatin1String("-h");
}

// Reads every argument, also after a fault, so that --help anywhere is seen.
Options parseOptions(const QStringList& args) {
    Options o;
    const auto fail = [&](const QString& text) {
        if (o.error.isEmpty()) o.error = text;
    };
    const auto value = [&](int& i, QString& target) {
        if (i + 1 >= args.size() || isHelp(args[i + 1])) {
            fail(QStringLiteral("%1 needs a value").arg(args[i]));
            return;
        }
        target = args[++i];
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (isHelp(a)) {
            o.help = true;
            continue;
        }
        static const QStringList kKnownOptions = {"--simulate",   "--sim-empty", "--iso", "--trace",
                                                  "--sim-memory", "--out",       "--set"};
        if (kKnownOptions.contains(a)) o.given << a;
        if (a == QLatin1String("--simulate")) {
            o.simulate = true;
        } else if (a == QLatin1String("--sim-empty")) {
            o.simEmpty = true;
        } else if (a == QLatin1String("--iso")) {
            o.iso = true;
        } else if (a == QLatin1String("--trace")) {
            value(i, o.traceFile);
        } else if (a == QLatin1String("--sim-memory")) {
            value(i, o.simMemory);
        } else if (a == QLatin1String("--out")) {
            value(i, o.out);
        } else if (a == QLatin1String("--set")) {
            value(i, o.set);
        } else if (a == QLatin1String("--version") && o.command.isEmpty()) {
            o.command = a;
        } else if (!a.startsWith(QLatin1Char('-'))) {
            if (o.command.isEmpty())
                o.command = a;
            else
                o.files << a;
        } else {
            fail(QStringLiteral("unknown argument: %1").arg(a));
        }
    }
    return o;
}

// What the commands run on: the output streams, the clock and the devices handed in.
struct Env {
    QTextStream& out;
    QTextStream& err;
    Clock& clock;
    const CliDevices& devices;
};

// The simulation options make sense only together with --simulate, and only one memory at once.
bool checkSimulationOptions(const Options& o, QTextStream& err) {
    if ((!o.simMemory.isEmpty() || o.simEmpty) && !o.simulate) {
        err << (o.simEmpty ? "--sim-empty" : "--sim-memory") << " needs --simulate\n";
        return false;
    }
    if (!o.simMemory.isEmpty() && o.simEmpty) {
        err << "--sim-memory and --sim-empty exclude each other\n";
        return false;
    }
    return true;
}

std::unique_ptr<MeterBackend> makeBackend(const Options& o, const Env& env) {
    std::optional<SimulatedMeter::Options> sim;
    if (o.simulate) {
        sim.emplace();
        if (!o.simMemory.isEmpty()) {
            sim->initialImage = SimulatedMeter::readImageFile(o.simMemory);
            if (sim->initialImage.isEmpty()) {
                env.err << "error: cannot read the simulated memory " << o.simMemory << "\n";
                return nullptr;
            }
        }
        sim->demoLogger = !o.simEmpty;
    }
    return openMeterBackend(sim, env.clock, env.devices, o.traceFile, env.err);
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
                       : QStringLiteral("There was not any data recorded in momery of meter !");
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

int probe(const Options& o, Env& env) {
    if (!o.files.isEmpty()) {
        env.err << "unexpected argument: " << o.files.front() << "\n"
                << findCommand(o.command)->usage;
        return 2;
    }
    if (!checkSimulationOptions(o, env.err)) return 2;
    auto backend = makeBackend(o, env);
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

int download(const Options& o, Env& env) {
    QTextStream& out = env.out;
    QTextStream& err = env.err;
    if (o.out.isEmpty() || !o.files.isEmpty()) {
        err << "download needs --out FILE.rec\n" << findCommand(o.command)->usage;
        return 2;
    }
    if (!checkSimulationOptions(o, err)) return 2;
    auto backend = makeBackend(o, env);
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
    if (!saveFileAtomically(o.out, reinterpret_cast<const char*>(image.data()), length)) {
        err << "error: cannot write " << o.out << "\n";
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

// Reads and parses the collection file named by the only positional argument.
bool loadCollection(const Options& o, const QLocale& locale, Env& env, Collection& c) {
    if (o.files.size() != 1) {
        env.err << o.command << " needs one collection file\n" << findCommand(o.command)->usage;
        return false;
    }
    const QString& path = o.files.front();
    int32_t lastAddress = 0;
    switch (readCollectionFile(path, c.image, lastAddress)) {
        case CollectionStatus::Ok:
            break;
        case CollectionStatus::Unreadable:
            env.err << "error: cannot read " << path << "\n";
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

int listSets(const Options& o, Env& env) {
    QLocale locale = o.iso ? QLocale::c() : QLocale::system();
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    Collection c;
    if (!loadCollection(o, locale, env, c)) return 1;
    env.out << "result " << c.result << "\n";
    if (!parseInstalledTable(c.result)) {
        reportResult(env.err, "error", c.result, true);
        return 1;
    }
    const DataSetTable& table = c.table;
    const std::vector<bool> repaired = repairedStartTimes(c);
    for (int s = 0; s < table.setCount(); ++s) {
        QStringList fields = c.rows[s];
        if (o.iso)
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

int exportSet(const Options& o, Env& env) {
    QTextStream& out = env.out;
    QTextStream& err = env.err;
    if (o.out.isEmpty() || o.set.isEmpty()) {
        err << "export needs --set N and --out FILE\n" << findCommand(o.command)->usage;
        return 2;
    }
    bool numeric = false;
    const int setNumber = o.set.toInt(&numeric);
    if (!numeric) {
        err << "--set needs a number\n";
        return 2;
    }
    const QLocale locale = o.iso ? QLocale::c() : QLocale::system();
    Collection c;
    if (!loadCollection(o, locale, env, c)) return 1;
    if (!parseInstalledTable(c.result)) {
        reportResult(err, "error", c.result, true);
        return 1;
    }
    const DataSetTable& table = c.table;
    if (setNumber < 1 || setNumber > table.setCount()) {
        err << "error: there is no data set " << setNumber << "; the file holds "
            << table.setCount() << "\n";
        return 1;
    }
    const int s = setNumber - 1;
    const auto times = table.setTimes(s);
    const auto levels = table.setLevels(s);
    if (!writePointTextFile(o.out, times, levels, pointTextSeparator(o.out), locale,
                            o.iso ? PointDateStyle::Iso : PointDateStyle::Locale)
             .ok()) {
        err << "error: cannot write " << o.out << "\n";
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
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("leq"))
        return runLeqCommand(arguments.mid(1), out, err, devices);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("live"))
        return runLiveCommand(arguments.mid(1), out, err, devices);
    if (isServiceCommand(arguments)) return runServiceCommand(arguments, out, err, devices);
    const Options o = parseOptions(arguments);
    const Command* command = findCommand(o.command);
    if (o.help) {
        if (command) {
            printHelp(*command, out);
            return 0;
        }
        if (o.command.isEmpty() || o.command == QLatin1String("--version")) {
            out << kUsage;
            return 0;
        }
    }
    if (!o.error.isEmpty() || o.command.isEmpty()) {
        if (!o.error.isEmpty()) err << o.error << "\n";
        err << (command ? command->usage : kUsage);
        return 2;
    }
    if (o.command == QLatin1String("--version")) {
        out << kVersion << "\n";
        return 0;
    }
    if (!command) {
        err << "unknown command: " << o.command << "\n" << kUsage;
        return 2;
    }
    for (const QString& option : o.given) {
        if (!command->options.contains(option)) {
            err << o.command << " takes no " << option << "\n" << command->usage;
            return 2;
        }
    }
    SystemClock systemClock;
    Env env{out, err, devices.clock ? *devices.clock : systemClock, devices};
    if (o.command == QLatin1String("probe")) return probe(o, env);
    if (o.command == QLatin1String("download")) return download(o, env);
    if (o.command == QLatin1String("sets")) return listSets(o, env);
    if (o.command == QLatin1String("paths")) return runPathsCommand(o.files, out, err);
    if (o.command == QLatin1String("convert")) {
        // A collection file's set is written as export writes it.
        return runConvertCommand(o.files, o.set, o.iso, out, err, [&](const QString& in,
                                                                     const QString& target) {
            Options e = o;
            e.files = {in};
            e.out = target;
            return exportSet(e, env);
        });
    }
    if (!csvCanHoldDecimals(o.out, o.iso, QLocale::system(), err)) return 2;
    return exportSet(o, env);
}

}  // namespace kl516
