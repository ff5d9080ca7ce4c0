#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <vector>

namespace kl516 {

// The command table of kl516-cli and the one parser of its arguments. Every command's options,
// usage line and help come from the table, so that what is parsed and what the help says
// cannot drift apart.

// One option of a command: its name without dashes, the name of its value (empty for a switch),
// its help ('\n' starts a further line of it) and whether the command needs it. An option takes
// a value in every command or in none.
struct CliOption {
    const char* name;
    const char* valueName;
    const char* help;
    bool required = false;
};

// A command: its name, its positional arguments (each one required), its options in the order
// of its usage line, the line of the program's help and the text of its own help.
struct CliCommand {
    const char* name;
    std::vector<const char*> arguments;
    std::vector<CliOption> options;
    const char* summary;
    const char* description;

    bool takes(const QString& option) const;
};

// Every command, in the order of the program's help.
const std::vector<CliCommand>& cliCommands();
const CliCommand* findCliCommand(const QString& name);

// A command line read against the table.
struct CliArguments {
    QString commandName;                  // the first positional argument, as given
    const CliCommand* command = nullptr;  // null: no command, or none of that name
    QStringList positional;               // the arguments after the command
    QSet<QString> given;                  // the options given, by name
    QHash<QString, QString> values;       // the values of the options that take one
    bool help = false;                    // --help or -h anywhere
    bool version = false;                 // --version
    QString error;                        // the first fault of the line; empty when it is right

    bool isSet(const char* option) const { return given.contains(QLatin1String(option)); }
    QString value(const char* option) const { return values.value(QLatin1String(option)); }
};

// Reads the arguments (without the program name). An option that takes a value never takes
// the next option as it ("--out --simulate": "--out needs a value"); a negative number such as
// "-1" is a value, not an option.
CliArguments parseCliArguments(const QStringList& arguments);

// "usage: kl516-cli download --out FILE.rec [--simulate] ...\n", wrapped.
QString cliUsage(const CliCommand& command);
// The usage, the description and one line per option.
QString cliHelp(const CliCommand& command);
// The usage of the program and of every command, the commands' summaries and the exit status.
QString cliProgramHelp();

inline constexpr int kCliWrongUse = 2;

// Wrong arguments: the message and the command's usage on err. Returns kCliWrongUse.
int cliWrongUse(QTextStream& err, const CliCommand& command, const QString& message);

}  // namespace kl516
