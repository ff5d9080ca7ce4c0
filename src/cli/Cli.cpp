#include "cli/Cli.h"

#include <QFile>
#include "files/SafeWrite.h"
#include <memory>

#include "dataset/DataSetTable.h"
#include "files/CollectionFile.h"
#include "files/PointText.h"
#include "kl516/version.h"
#include "link/Clock.h"
#include "link/HidDeviceLibrary.h"
#include "link/LinkTrace.h"
#include "link/MeterLink.h"
#include "logger/Download.h"
#include "logger/MemoryParser.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

const char* const kUsage =
    "usage: kl516-cli --version\n"
    "       kl516-cli probe [--simulate] [--trace FILE]\n"
    "       kl516-cli download [--simulate [--sim-memory FILE.rec]] --out FILE.rec [--trace FILE]\n"
    "       kl516-cli sets FILE.rec [--iso]\n"
    "       kl516-cli export FILE.rec --set N --out FILE.txt|FILE.csv [--iso]\n"
    "\n"
    "download  fetches the logger memory and writes it as a collection file\n"
    "sets      lists the data sets of a collection file: the list row, then the indexes of\n"
    "          the maximum and minimum and the average level\n"
    "export    writes the points of data set N (1-based, the list's \"Set\" number) as text;\n"
    "          .csv separates with commas, anything else with tabs\n"
    "--iso     dates as yyyy-MM-dd and numbers without the system locale\n";

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
    QStringList files;  // positional arguments after the command
    bool simulate = false;
    bool iso = false;
    QString traceFile;
    QString simMemory;
    QString out;
    QString set;
    QString error;
};

Options parseOptions(const QStringList& args) {
    Options o;
    const auto value = [&](int& i, QString& target) {
        if (i + 1 >= args.size()) {
            o.error = QStringLiteral("%1 needs a value").arg(args[i]);
            return false;
        }
        target = args[++i];
        return true;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--simulate")) {
            o.simulate = true;
        } else if (a == QLatin1String("--iso")) {
            o.iso = true;
        } else if (a == QLatin1String("--trace")) {
            if (!value(i, o.traceFile)) return o;
        } else if (a == QLatin1String("--sim-memory")) {
            if (!value(i, o.simMemory)) return o;
        } else if (a == QLatin1String("--out")) {
            if (!value(i, o.out)) return o;
        } else if (a == QLatin1String("--set")) {
            if (!value(i, o.set)) return o;
        } else if (a == QLatin1String("--version") && o.command.isEmpty()) {
            o.command = a;
        } else if (!a.startsWith(QLatin1Char('-'))) {
            if (o.command.isEmpty())
                o.command = a;
            else
                o.files << a;
        } else {
            o.error = QStringLiteral("unknown argument: %1").arg(a);
            return o;
        }
    }
    return o;
}

std::unique_ptr<Backend> makeBackend(const Options& o, QTextStream& err) {
    auto b = std::make_unique<Backend>();
    if (o.simulate) {
        SimulatedMeter::Options sim;
        if (!o.simMemory.isEmpty()) {
            sim.initialImage = SimulatedMeter::readImageFile(o.simMemory);
            if (sim.initialImage.isEmpty()) {
                err << "error: cannot read the simulated memory " << o.simMemory << "\n";
                return nullptr;
            }
        }
        b->device = std::make_unique<SimulatedMeter>(b->clock, sim);
    } else {
        b->device = std::make_unique<HidDeviceLibrary>();
    }
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

// The text for a download or parse result.
QString resultMessage(int32_t code) {
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
            return QStringLiteral("There was not any data recorded in momery of meter !");
        case ParseResult::TooManySets:
            return QStringLiteral("the logger memory says it holds more than 4000 data sets");
        case ParseResult::BadMarks:
            return QStringLiteral("at least one data set lacks a correct start or end mark");
        case ParseResult::EndPastLastAddress:
            return QStringLiteral("at least one data set ends beyond the memory's last address");
        case ParseResult::StartTimeNotStored:
            return QStringLiteral("a start time could not be stored; the current time stands in");
        default: {
            const QString link = linkResultMessage(code);
            return link.isEmpty() ? QStringLiteral("unexpected result") : link;
        }
    }
}

void reportResult(QTextStream& err, const char* kind, int32_t code) {
    err << kind << " " << code << ": " << resultMessage(code) << "\n";
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

int download(const Options& o, QTextStream& out, QTextStream& err) {
    if (o.out.isEmpty() || !o.files.isEmpty()) {
        err << "download needs --out FILE.rec\n" << kUsage;
        return 2;
    }
    if (!o.simMemory.isEmpty() && !o.simulate) {
        err << "--sim-memory needs --simulate\n";
        return 2;
    }
    auto backend = makeBackend(o, err);
    if (!backend) return 1;
    IdleLinkHost host;
    MeterLink link(backend->library(), backend->clock, host);
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
        parseImage(image, lastAddress, backend->clock.now(), table, nullptr, QLocale::system());
    if (!parseInstalledTable(p)) {
        reportResult(err, "error", p);
        return 1;
    }
    const qsizetype length = collectionLength(image);
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

// Reads and parses the collection file named by the first positional argument.
bool loadCollection(const Options& o, const QLocale& locale, DataSetTable& table,
                    QList<QStringList>& rows, int32_t& result, QTextStream& err) {
    if (o.files.size() != 1) {
        err << o.command << " needs one collection file\n" << kUsage;
        return false;
    }
    const QString& path = o.files.front();
    LoggerImage image;
    int32_t lastAddress = 0;
    switch (readCollectionFile(path, image, lastAddress)) {
        case CollectionStatus::Ok:
            break;
        case CollectionStatus::Unreadable:
            err << "error: cannot read " << path << "\n";
            return false;
        case CollectionStatus::Empty:
            err << "error: " << path << " is empty\n";
            return false;
        case CollectionStatus::TooShort:
            err << "error: " << path << " is too short for a logger image\n";
            return false;
        case CollectionStatus::TooLarge:
            err << "error: " << path << " is too large for a logger image\n";
            return false;
    }
    // Start times whose fields are not a valid date are repaired from the current time.
    result = parseImage(image, lastAddress, SystemClock().now(), table, &rows, locale);
    return true;
}

int listSets(const Options& o, QTextStream& out, QTextStream& err) {
    if (!o.out.isEmpty() || !o.set.isEmpty()) {
        err << "sets takes no --out or --set\n" << kUsage;
        return 2;
    }
    QLocale locale = o.iso ? QLocale::c() : QLocale::system();
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    DataSetTable table;
    QList<QStringList> rows;
    int32_t result = 0;
    if (!loadCollection(o, locale, table, rows, result, err)) return 1;
    out << "result " << result << "\n";
    if (!parseInstalledTable(result)) {
        reportResult(err, "error", result);
        return 1;
    }
    for (int s = 0; s < table.setCount(); ++s) {
        QStringList fields = rows[s];
        if (o.iso)
            fields[1] = fromTDateTime(table.startTimes()[size_t(s)]).date().toString(Qt::ISODate);
        fields << QString::number(table.maxIndexes()[size_t(s)])
               << QString::number(table.minIndexes()[size_t(s)])
               << locale.toString(table.averages()[size_t(s)], 'f', 3);
        out << fields.join(QLatin1Char('\t')) << "\n";
    }
    if (result != ParseResult::Ok) reportResult(err, "warning", result);
    return 0;
}

int exportSet(const Options& o, QTextStream& out, QTextStream& err) {
    if (o.out.isEmpty() || o.set.isEmpty()) {
        err << "export needs --set N and --out FILE\n" << kUsage;
        return 2;
    }
    bool numeric = false;
    const int setNumber = o.set.toInt(&numeric);
    if (!numeric) {
        err << "--set needs a number\n";
        return 2;
    }
    const QLocale locale = o.iso ? QLocale::c() : QLocale::system();
    DataSetTable table;
    QList<QStringList> rows;
    int32_t result = 0;
    if (!loadCollection(o, locale, table, rows, result, err)) return 1;
    if (!parseInstalledTable(result)) {
        reportResult(err, "error", result);
        return 1;
    }
    if (setNumber < 1 || setNumber > table.setCount()) {
        err << "error: there is no data set " << setNumber << "; the file holds "
            << table.setCount() << "\n";
        return 1;
    }
    const int s = setNumber - 1;
    const auto times = table.setTimes(s);
    const auto levels = table.setLevels(s);
    if (!writePointTextFile(o.out, times, levels, pointTextSeparator(o.out), locale,
                            o.iso ? PointDateStyle::Iso : PointDateStyle::Locale)) {
        err << "error: cannot write " << o.out << "\n";
        return 1;
    }
    out << "wrote " << levels.size() << " points of data set " << setNumber << "\n";
    if (result != ParseResult::Ok) reportResult(err, "warning", result);
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
    if (o.command == QLatin1String("download")) return download(o, out, err);
    if (o.command == QLatin1String("sets")) return listSets(o, out, err);
    if (o.command == QLatin1String("export")) return exportSet(o, out, err);
    if (o.command != QLatin1String("probe")) {
        err << "unknown command: " << o.command << "\n" << kUsage;
        return 2;
    }
    if (!o.files.isEmpty()) {
        err << "unexpected argument: " << o.files.front() << "\n" << kUsage;
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
