#include "cli/CommandLine.h"

#include <QCommandLineParser>
#include <algorithm>

namespace kl516 {

namespace {

// ---- the options that several commands share

const CliOption kSimulate{"simulate", "",
                          "use the built-in simulated meter instead of the meter on USB"};
const CliOption kSimMemory{"sim-memory", "FILE.rec",
                           "the simulated meter's logger holds this collection file"};
const CliOption kSimEmpty{"sim-empty", "",
                          "the simulated meter's logger is empty; without this option or\n"
                          "--sim-memory it holds four demonstration data sets"};
const CliOption kTrace{"trace", "FILE", "log every frame to and from the meter in FILE (appended)"};
const CliOption kDevice{"device", "/dev/hidrawN",
                        "talk to the meter at this device node (see list); without it or\n"
                        "--serial, the first meter found"};
const CliOption kSerial{"serial", "SERIAL",
                        "talk to the meter with this USB serial number (see list); with\n"
                        "--device too, both must match"};
const CliOption kIso{"iso", "", "dates as yyyy-MM-dd and numbers without the system locale"};
const CliOption kServiceSimulate{
    "simulate", "",
    "use the built-in simulated meter (holding four demonstration data\n"
    "sets) instead of the meter on USB"};

const char* const kConvertDescription =
    "Converts a file into a point text file: OUT ending in .txt is tab-separated, .csv\n"
    "comma-separated. IN is\n"
    "  - a collection file (.rec): the points of set --set N, as export writes them;\n"
    "  - a text file (.txt or .csv): its lines with the other separator, dates and times as\n"
    "    they are (ISO with --iso), levels in the decimals of the output, a point without a\n"
    "    level with its empty field; a table text file (every line ending with its\n"
    "    separator) stays one;\n"
    "  - a graph file (.ghf): its points with the level of the first series, and of the\n"
    "    second when the graph has two.\n"
    "A file that cannot be read fails with status 1 and the reason; a text file that ends\n"
    "early (an empty line, a line without a separator, a line too long) is converted up to\n"
    "there and fails with status 1 and the reason. A text line of more than six fields, a\n"
    "date --iso cannot read, or a field holding OUT's separator fail with status 1 and\n"
    "write nothing. With a comma as the system's decimal separator, a .csv OUT needs\n"
    "--iso: comma decimals would split every level in two.\n";

const char* const kLiveDescription =
    "Polls the meter's status every interval and prints one line per reading, written out\n"
    "as soon as it is complete: the computer's local time (ISO 8601 with milliseconds and\n"
    "UTC offset), the level in dB (one decimal, always a point), the frequency weighting (A\n"
    "or C), the time weighting (FAST or SLOW), the range (30-130) and the flags the meter's\n"
    "display shows, separated by blanks: REC (the logger records), MAX and MIN (both while\n"
    "they alternate), LEQ (the level is the Leq), RUN or PAUSE (an Leq run), FULL (logger\n"
    "memory full), OVER and UNDER (level out of range).\n"
    "csv and tsv print a header line first: time, level, weighting, response, range, flags.\n"
    "json prints one object per line (JSON Lines) with the same names; flags is an array.\n"
    "\n"
    "It runs until --count readings were printed, or until SIGINT (Ctrl+C) or SIGTERM, which\n"
    "end it after the line being written. A poll that fails is skipped; five failed polls in\n"
    "a row mean the meter was lost.\n"
    "\n"
    "Exit status: 0 after --count readings or after SIGINT or SIGTERM; 1 the meter did not\n"
    "answer at the start; 2 wrong arguments; 3 the meter was lost (a message says so on\n"
    "stderr).\n";

const char* const kLeqDescription =
    "Runs an LEQ measurement of N seconds (1 to 86400): one status exchange every 40 ms, one\n"
    "row per second of the meter's clock, printed as it closes (tab-separated: No, date,\n"
    "time, SPL, Leq; ISO dates, '.' decimals; SPL and Leq empty for a second without a\n"
    "counted reading), then one summary line with Leq, Lmax, Lmin, L10, L50, L90 and SEL.\n"
    "Without a meter it fails with error 1001 before any row; a meter that is recording is\n"
    "refused. The 51st failed read, or a meter clock that stands still for 5 s, ends the run\n"
    "with exit status 1 after the rows and the summary measured so far (and --out written).\n";

const char* const kReportDescription =
    "Writes the measurement report of a series as a PDF file: IN is a collection file (.rec,\n"
    "its set --set N), a point or table text file (.txt, .csv) or a graph file (.ghf). Page 1\n"
    "holds the source, start, end, duration, sampling rate, the number of samples and of\n"
    "missing ones, the graph, the whole series' Lmax and Lmin with their times, Leq, L10, L50,\n"
    "L90 and SEL (and the same between the cursor lines a graph file was saved with), and the\n"
    "notes. The following pages hold the noise assessment's interval levels and day-evening-\n"
    "night levels when the series can be assessed, and with --samples every sample. Drawn\n"
    "without a display (the offscreen platform when QT_QPA_PLATFORM is not set).\n";
const char* const kPlotDescription =
    "Draws the graph of a series as a graph window draws it, into a PNG, SVG or PDF file chosen\n"
    "by the suffix of --out: IN as for report. A graph file keeps its own looks; other files\n"
    "get those of a new graph window. Drawn without a display.\n";
const char* const kAssessDescription =
    "Assesses the levels of a series: IN is a collection file (.rec, its set --set N), a point\n"
    "or table text file (.txt or .csv) or a graph file (.ghf, its first series). Prints three\n"
    "tables:\n"
    "  - intervals: for each clock-aligned interval, its start and end, Leq, Lmax, Lmin, L10,\n"
    "    L50, L90, the samples with a level and the coverage (the time they represent, in %\n"
    "    of the interval); each sample weighs by the time to the next one, at most twice the\n"
    "    median spacing;\n"
    "  - periods: for each 24 hours from the day start, Lday, Levening, Lnight, Lden and Ldn\n"
    "    (day to 22:00, night from 22:00) and the coverage of the day, evening and night; a\n"
    "    period with less than 50 % in any of them is incomplete and has no Lden or Ldn;\n"
    "  - events: the runs of samples above the threshold lasting at least --min-duration\n"
    "    (start, duration, Lmax, Leq), then the number of events and the time above it.\n"
    "Levels have one decimal ('.'); times are local, ISO 8601 with the UTC offset in force\n"
    "(yyyy-MM-ddTHH:mm:ss+hh:mm). Intervals and periods follow the local clock: the hour\n"
    "repeated when the clocks go back is two intervals, and a period lasts 23 or 25 hours on\n"
    "the days the clocks change. text prints the three tables in columns (\"-\" for no\n"
    "value); csv prints one, chosen with --table, under the column names of the window's CSV\n"
    "for spreadsheets (start_time, leq_dB, ..., empty fields for no value); json prints one\n"
    "object with intervals, periods, events, totals, intervalSeconds and typicalSpacing (null\n"
    "for no value).\n"
    "Exit status: 0 done; 1 a file could not be read (or, for a collection file, is damaged\n"
    "or its set's start time is not stored); 2 wrong arguments, or a series that cannot be\n"
    "assessed: fewer than two samples, a time that cannot be read or goes backwards (the\n"
    "message names the row), a threshold outside 0-200 dB or day periods out of order.\n";

const std::vector<CliCommand> kCommands = {
    {"probe",
     {},
     {kSimulate, kSimMemory, kSimEmpty, kDevice, kSerial, kTrace},
     "checks that the meter answers and prints one status frame",
     "Checks that the meter answers status polls, identifies it (\"586\") and prints the 32\n"
     "bytes of one status frame in hex. Without a meter it fails with error 1001 after about\n"
     "1.5 s of presence checks.\n"},
    {"list",
     {},
     {{"simulate", "", "list the built-in simulated meter alone"}},
     "lists the meters attached to the computer",
     "Lists the meters attached to the computer, one tab-separated line each after a header:\n"
     "the device node, the USB serial number (\"-\" when it has none) and whether this user\n"
     "may open the node (yes or no). --device and --serial of the other commands pick a\n"
     "meter from this list. Exit status 1 when no meter is attached.\n"},
    {"download",
     {},
     {{"out", "FILE.rec", "the collection file to write", true},
      kSimulate,
      kSimMemory,
      kSimEmpty,
      kDevice,
      kSerial,
      kTrace},
     "fetches the logger memory and writes it as a collection file",
     "Fetches the meter's logger memory (progress on stderr), parses it and writes it as a\n"
     "collection file. Without a meter it fails with error 1001 after 15 attempts (about 22 s);\n"
     "an empty logger fails with error 31 and writes nothing. The output file is checked\n"
     "before the meter is asked.\n"},
    {"sets",
     {"FILE.rec"},
     {kIso},
     "lists the data sets of a collection file",
     "Lists the data sets of a collection file. The first line is \"result N\", the parse\n"
     "result; then one tab-separated line per set: number, start date, start time, interval,\n"
     "points, weighting, time weighting, range, index of the maximum, index of the minimum and\n"
     "average level. A start time that is not a valid date and time in the file is replaced by\n"
     "the current date and time and marked with \"*\". A result other than 0 (a damaged or\n"
     "foreign file) is explained on stderr, after the sets that could be read, and the exit\n"
     "status is 1.\n"},
    {"export",
     {"FILE.rec"},
     {{"set", "N", "the data set, numbered from 1 as in the list of sets", true},
      {"out", "FILE.txt|FILE.csv",
       "the text file; .csv separates with commas, anything else with tabs", true},
      kIso},
     "writes the points of one data set as text",
     "Writes the points of data set N as text, one line per point: date, time and level. A\n"
     "file whose parse result is not 0 is explained on stderr, after the points were written,\n"
     "and the exit status is 1.\n"},
    {"convert",
     {"IN", "OUT"},
     {{"set", "N", "for a collection file: the data set, numbered from 1"}, kIso},
     "turns a .rec, .txt, .csv or .ghf file into point text (.txt or .csv)",
     kConvertDescription},
    {"assess",
     {"IN"},
     {{"set", "N", "for a collection file: the data set, numbered from 1"},
      {"interval", "LENGTH",
       "the interval: 1 min, 5 min, 10 min, 15 min, 30 min, 1 h or 24 h, also\n"
       "written 15min, 15m, 1h or in seconds (default: the shortest of 1 min,\n"
       "15 min and 1 h giving at most 200 intervals)"},
      {"threshold", "DB", "the level that events exceed, 0 to 200 (default 70)"},
      {"min-duration", "TIME",
       "the shortest event, up to 24 h, as 10s, 2m or seconds (default 0)"},
      {"day-start", "HH:MM", "the start of the day (default 07:00)"},
      {"evening-start", "HH:MM", "the start of the evening (default 19:00)"},
      {"night-start", "HH:MM", "the start of the night (default 23:00)"},
      {"format", "text|csv|json", "text (the default), csv or json"},
      {"table", "intervals|periods|events", "the table csv prints (default intervals)"}},
     "prints interval levels, Lden and Ldn and the exceedances of a series",
     kAssessDescription},
    {"report",
     {"IN"},
     {{"set", "N", "for a collection file: the data set, numbered from 1"},
      {"out", "FILE.pdf", "the PDF file to write", true},
      {"title", "TEXT", "the report's title (default: the file's name)"},
      {"samples", "", "add every sample as a table"}},
     "writes the measurement report of a series as a PDF file",
     kReportDescription},
    {"plot",
     {"IN"},
     {{"set", "N", "for a collection file: the data set, numbered from 1"},
      {"out", "FILE.png|FILE.svg|FILE.pdf", "the picture to write, by its suffix", true},
      {"size", "WxH", "its size in pixels (default 1600x900)"}},
     "draws the graph of a series as a PNG, SVG or PDF picture",
     kPlotDescription},
    {"live",
     {},
     {kSimulate,
      {"interval", "SECONDS", "the time between polls, at least 0.1 (default 1)"},
      {"count", "N", "stop after N readings"},
      {"format", "csv|tsv|json", "csv, tsv (the default) or json"},
      kDevice,
      kSerial,
      kTrace},
     "prints the meter's live level, one line per reading (csv, tsv or json)",
     kLiveDescription},
    {"monitor",
     {},
     {{"mqtt", "URL", "the broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]", true},
      {"ca-file", "FILE", "the CA certificate of an mqtts:// broker"},
      {"username", "NAME",
       "the user name at the broker; the password comes from\n"
       "--password-file or the KL516_MQTT_PASSWORD environment variable"},
      {"password-file", "FILE", "the password at the broker: the file's first line"},
      {"topic-prefix", "PREFIX", "the topics' prefix (default kl516/SERIAL, or kl516/meter)"},
      {"interval", "SECONDS", "the time between readings, 0.1 to 30 (default 1)"},
      {"aggregate", "SECONDS", "the summary period, dividing a day (default 60)"},
      {"threshold", "DB", "publish exceedance events above this level"},
      {"min-duration", "SECONDS", "the shortest exceedance event (default 0)"},
      {"spool", "DIR", "the spool's folder (default the per-user folder's monitor/)"},
      {"spool-limit", "MB", "the spool's size limit; past it the oldest go (default 100)"},
      {"no-discovery", "", "publish no Home Assistant discovery configs"},
      kSimulate,
      kDevice,
      kSerial,
      kTrace,
      {"clock-speed", "FACTOR",
       "testing aid, with --simulate: the simulated meter's clock runs\n"
       "FACTOR times faster than real time, from the current minute"},
      {"run-for", "SECONDS",
       "testing aid: stop after SECONDS of the meter's clock, as on\n"
       "SIGTERM"},
      {"sim-unplug", "AT:SECONDS",
       "testing aid, with --simulate: the simulated meter is\n"
       "unplugged AT seconds after the start, for SECONDS"}},
     "publishes levels, summaries and events to an MQTT broker, unattended",
     "Reads the meter every --interval and publishes over MQTT 3.1.1, under the prefix:\n"
     "  PREFIX/level         each reading as JSON (time, level, weighting, speed, range,\n"
     "                       flags), QoS 0;\n"
     "  PREFIX/summary       each --aggregate period of the clock: start, end, leq, lmax,\n"
     "                       lmin, l10, l50, l90, samples, coverage (percent of the period\n"
     "                       the readings cover), sequence, dropped, partial; QoS 1;\n"
     "  PREFIX/event         with --threshold, each run of readings above it, when it ends\n"
     "                       and lasted --min-duration: start, end, duration, lmax, leq;\n"
     "                       QoS 1;\n"
     "  PREFIX/availability  online, or offline (retained; the connection's last will, and\n"
     "                       while the meter is away);\n"
     "and Home Assistant discovery configs (retained, homeassistant/sensor/ID/FIELD/config)\n"
     "for level, leq, lmax and l90.\n"
     "Summaries and events go through a spool on disk (SQLite) before they are published and\n"
     "leave it when the broker acknowledged them: while the broker is away they wait, survive\n"
     "a restart and go out in order when it is back. A summary may arrive twice (same\n"
     "sequence number), never not at all. A meter that is lost, or that --serial or --device\n"
     "names and is not attached, is tried again every 2 s; the time it was away counts as\n"
     "missing in the summaries' coverage.\n"
     "SIGINT and SIGTERM end it, publishing the current period as a partial summary; SIGHUP\n"
     "re-opens the trace file.\n"
     "\n"
     "Exit status: 0 after SIGINT or SIGTERM; 1 the broker refused the credentials, the\n"
     "--ca-file cannot be read or the spool cannot be opened; 2 wrong arguments.\n"},
    {"paths",
     {},
     {},
     "prints the folders and files the program uses",
     "Prints the folders and files the program uses, one \"name: path\" line each: the\n"
     "program's folder, its installed data, the per-user folder, the graph template, the help\n"
     "page, the LEQ log and the folder of the measurement data.\n"},
    {"leq",
     {},
     {{"seconds", "N", "the run's duration in seconds", true},
      {"simulate", "",
       "use the built-in simulated meter on a simulated clock, so that a\n"
       "long run takes no real time"},
      kDevice,
      kSerial,
      kTrace,
      {"out", "FILE.txt|FILE.csv",
       "also write the table as table text in the system locale: tabs,\n"
       "or commas for a .csv file; checked before the run starts"}},
     "runs a timed LEQ measurement and prints its rows",
     kLeqDescription},
    {"info",
     {},
     {kServiceSimulate, kDevice, kSerial, kTrace},
     "reads the logger information and calibration values",
     "Reads the logger information: meter time, recording interval, free sample places, data\n"
     "sets, firmware version, serial number and the calibration values.\n"},
    {"set-clock",
     {},
     {kServiceSimulate, kDevice, kSerial, kTrace},
     "sets the meter's clock to the computer's clock",
     "Sets the meter's clock to the computer's local date and time.\n"},
    {"set-interval",
     {"MM:SS"},
     {kServiceSimulate, kDevice, kSerial, kTrace},
     "sets the logger's recording interval (taken over at the next power-on)",
     "Sets the logger's recording interval, 00:00 to 01:00 (60 s). The meter takes it over\n"
     "when it is switched off and on again.\n"},
    {"erase",
     {},
     {{"yes", "", "erase without asking"}, kServiceSimulate, kDevice, kSerial, kTrace},
     "erases the logger memory",
     "Erases the logger memory. Without --yes it asks first, on a terminal only: when standard\n"
     "input is not a terminal it refuses.\n"},
    {"config-read",
     {"ADDR"},
     {kServiceSimulate, kDevice, kSerial, kTrace},
     "reads one byte of the meter's configuration memory",
     "Reads one byte of the meter's configuration memory and prints it in decimal. ADDR is\n"
     "0 to 16777215 (0xFFFFFF), decimal or hexadecimal written $0F or 0x0F.\n"},
    {"config-write",
     {"ADDR", "BYTE"},
     {{"code", "CODE", "the service access code", true},
      kServiceSimulate,
      kDevice,
      kSerial,
      kTrace},
     "writes one byte of it (service access code needed)",
     "Writes one byte (0 to 255) of the meter's configuration memory at ADDR (0 to 16777215,\n"
     "decimal or hexadecimal written $0F or 0x0F). Needs the service access code; a wrong\n"
     "code sends nothing. A wrong byte at the wrong address can make the meter unusable.\n"},
};

constexpr int kUsageWidth = 96;
constexpr int kOptionHelpColumn = 21;

// The usage of a command after the program's name, wrapped under its first word.
QString usageBody(const CliCommand& c, int indent) {
    QStringList words;
    for (const char* a : c.arguments) words << QLatin1String(a);
    const auto spelled = [](const CliOption& o) {
        QString s = QStringLiteral("--") + QLatin1String(o.name);
        if (*o.valueName) s += QLatin1Char(' ') + QLatin1String(o.valueName);
        return s;
    };
    for (const CliOption& o : c.options)
        if (o.required) words << spelled(o);
    for (const CliOption& o : c.options)
        if (!o.required) words << QLatin1Char('[') + spelled(o) + QLatin1Char(']');
    QString text = QLatin1String(c.name);
    const int firstIndent = indent + int(text.size()) + 1;
    int column = firstIndent;
    for (const QString& w : words) {
        if (column + 1 + w.size() > kUsageWidth && column > firstIndent) {
            text += QLatin1Char('\n') + QString(firstIndent - 1, QLatin1Char(' '));
            column = firstIndent - 1;
        }
        text += QLatin1Char(' ') + w;
        column += 1 + int(w.size());
    }
    return text;
}

QString optionLine(const CliOption& o) {
    QString optionText = QStringLiteral("  --") + QLatin1String(o.name);
    if (*o.valueName) optionText += QLatin1Char(' ') + QLatin1String(o.valueName);
    const QString indent(kOptionHelpColumn, QLatin1Char(' '));
    QString text = optionText.size() < kOptionHelpColumn - 1
                       ? optionText.leftJustified(kOptionHelpColumn, QLatin1Char(' '))
                       : optionText + QLatin1Char('\n') + indent;
    text += QString::fromLatin1(o.help).split(QLatin1Char('\n')).join(QLatin1Char('\n') + indent);
    return text + QLatin1Char('\n');
}

// Every option name of the table, with whether it takes a value.
const QHash<QString, bool>& optionTakesValue() {
    static const QHash<QString, bool> names = [] {
        QHash<QString, bool> n;
        for (const CliCommand& c : kCommands) {
            for (const CliOption& o : c.options) {
                const QString name = QLatin1String(o.name);
                Q_ASSERT(!n.contains(name) || n[name] == (*o.valueName != 0));
                n.insert(name, *o.valueName != 0);
            }
        }
        n.insert(QStringLiteral("help"), false);
        n.insert(QStringLiteral("h"), false);
        n.insert(QStringLiteral("version"), false);
        return n;
    }();
    return names;
}

// "--out", "-out" and "--out=x" name the option "out"; anything else names none.
QString optionNameOf(const QString& argument) {
    if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2) return {};
    const QString bare = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    return bare.section(QLatin1Char('='), 0, 0);
}

bool isNegativeNumber(const QString& argument) {
    return argument.size() > 1 && argument[0] == QLatin1Char('-') && argument[1].isDigit();
}

// What cannot be an option's value: an option of the tool, or anything starting with "--".
bool looksLikeOption(const QString& argument) {
    if (argument.startsWith(QLatin1String("--"))) return true;
    return !isNegativeNumber(argument) && optionTakesValue().contains(optionNameOf(argument));
}

// A negative number goes through the parser under a mark that keeps it from being read as an
// option; the mark comes off again where values and positional arguments are taken out.
const QString kValueMark = QStringLiteral("\uFDD0");

QString unmarked(QString value) {
    if (value.startsWith(kValueMark)) value.remove(0, kValueMark.size());
    return value;
}

}  // namespace

bool CliCommand::takes(const QString& option) const {
    return std::any_of(options.begin(), options.end(),
                       [&](const CliOption& o) { return option == QLatin1String(o.name); });
}

const std::vector<CliCommand>& cliCommands() {
    return kCommands;
}

const CliCommand* findCliCommand(const QString& name) {
    for (const CliCommand& c : kCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

CliArguments parseCliArguments(const QStringList& arguments) {
    CliArguments a;
    const auto fail = [&](const QString& text) {
        if (a.error.isEmpty()) a.error = text;
    };

    // What the parser would let through: a value taken from the next option. Help is looked
    // for here too, as the value of such an option ("--set --help") still asks for help.
    QStringList marked{QStringLiteral("kl516-cli")};
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& s = arguments[i];
        if (optionsEnded || !s.startsWith(QLatin1Char('-')) || isNegativeNumber(s)) {
            marked << (isNegativeNumber(s) ? kValueMark + s : s);
            continue;
        }
        marked << s;
        if (s == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const QString name = optionNameOf(s);
        if (name == QLatin1String("help") || name == QLatin1String("h")) a.help = true;
        if (optionTakesValue().value(name) && !s.contains(QLatin1Char('=')) &&
            (i + 1 == arguments.size() || looksLikeOption(arguments[i + 1])))
            fail(QStringLiteral("--%1 needs a value").arg(name));
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (auto it = optionTakesValue().begin(); it != optionTakesValue().end(); ++it) {
        if (it.key() == QLatin1String("h") || it.key() == QLatin1String("help")) continue;
        parser.addOption(QCommandLineOption(it.key(), QString(),
                                            it.value() ? QStringLiteral("value") : QString()));
    }
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    if (!parser.parse(marked)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            // Said as it was typed.
            QString typed = QStringLiteral("--") + unknown.front();
            for (const QString& s : arguments)
                if (optionNameOf(s) == unknown.front()) typed = s.section(QLatin1Char('='), 0, 0);
            fail(QStringLiteral("unknown option: %1").arg(typed));
        } else {
            fail(parser.errorText());
        }
    }
    a.help = a.help || parser.isSet(QStringLiteral("help"));
    a.version = parser.isSet(QStringLiteral("version"));

    QStringList positional;
    for (const QString& p : parser.positionalArguments()) positional << unmarked(p);
    if (!positional.isEmpty()) a.commandName = positional.takeFirst();
    a.positional = positional;
    a.command = findCliCommand(a.commandName);

    QStringList optionsGiven;
    for (const QString& name : parser.optionNames()) {
        if (name == QLatin1String("h") || name == QLatin1String("help")) continue;
        if (optionsGiven.contains(name)) continue;
        optionsGiven << name;
        a.given.insert(name);
        if (optionTakesValue().value(name)) {
            const QString value = unmarked(parser.value(name));
            if (value.isEmpty()) fail(QStringLiteral("--%1 needs a value").arg(name));
            a.values.insert(name, value);
        }
    }

    if (a.commandName.isEmpty()) {
        if (!a.version && !a.help) fail(QStringLiteral("a command is needed"));
        for (const QString& name : optionsGiven)
            if (name != QLatin1String("version"))
                fail(QStringLiteral("--%1 needs a command").arg(name));
        return a;
    }
    if (!a.command) {
        fail(QStringLiteral("unknown command: %1").arg(a.commandName));
        return a;
    }
    const CliCommand& c = *a.command;
    for (const QString& name : optionsGiven)
        if (!c.takes(name)) fail(QStringLiteral("%1 takes no --%2").arg(a.commandName, name));
    const qsizetype wanted = qsizetype(c.arguments.size());
    if (a.positional.size() > wanted) {
        fail(QStringLiteral("unexpected argument: %1").arg(a.positional[wanted]));
    } else if (a.positional.size() < wanted) {
        QStringList names;
        for (const char* n : c.arguments) names << QLatin1String(n);
        fail(QStringLiteral("%1 needs %2").arg(a.commandName, names.join(QLatin1Char(' '))));
    }
    for (const CliOption& o : c.options) {
        if (o.required && !a.given.contains(QLatin1String(o.name)))
            fail(QStringLiteral("%1 needs --%2 %3")
                     .arg(a.commandName, QLatin1String(o.name), QLatin1String(o.valueName))
                     .trimmed());
    }
    return a;
}

QString cliUsage(const CliCommand& command) {
    const QString prefix = QStringLiteral("usage: kl516-cli ");
    return prefix + usageBody(command, int(prefix.size())) + QLatin1Char('\n');
}

QString cliHelp(const CliCommand& command) {
    QString text = cliUsage(command) + QLatin1Char('\n') + QLatin1String(command.description);
    if (!command.options.empty()) text += QLatin1Char('\n');
    for (const CliOption& o : command.options) text += optionLine(o);
    return text;
}

QString cliProgramHelp() {
    const QString indent = QStringLiteral("       kl516-cli ");
    QString text = QStringLiteral("usage: kl516-cli --version\n");
    for (const CliCommand& c : kCommands)
        text += indent + usageBody(c, int(indent.size())) + QLatin1Char('\n');
    text += indent + QStringLiteral("[COMMAND] --help\n\n");
    for (const CliCommand& c : kCommands)
        text += QString::fromLatin1(c.name).leftJustified(14, QLatin1Char(' ')) +
                QLatin1String(c.summary) + QLatin1Char('\n');
    text += QStringLiteral(
        "\nExit status: 0 done, 1 failed, 2 wrong arguments; live also 3 when the meter was "
        "lost.\n");
    return text;
}

int cliWrongUse(QTextStream& err, const CliCommand& command, const QString& message) {
    err << message << "\n" << cliUsage(command);
    return kCliWrongUse;
}

}  // namespace kl516
