#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "cli/Cli.h"
#include "cli/CommandLine.h"
#include "session/StatusDecoder.h"

namespace kl516 {

// kl516-cli live: the meter's status polled at an interval, one line per reading on standard
// output. arguments: the command line, read without a fault. Exit status: 0 when --count
// readings were printed or a SIGINT or SIGTERM ended it (after the line being written), 1 when
// the meter could not be reached at the start, 2 wrong arguments, 3 the meter was lost (five
// failed polls in a row).
int runLiveCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                   const CliDevices& devices);

inline constexpr int kLiveMeterLost = 3;

enum class LiveFormat { Csv, Tsv, Json };

// The header line of csv and tsv output (none for json), without its line end.
QString liveHeader(LiveFormat format);

// The flags of a reading as the meter's display shows them: REC, MAX, MIN, LEQ, RUN, PAUSE,
// FULL, OVER, UNDER.
QStringList liveFlags(const MeterStatus& status);

// One reading at local time `when`, without its line end.
QString liveLine(const MeterStatus& status, const QDateTime& when, LiveFormat format);

// ISO 8601 local time with milliseconds and the UTC offset: 2026-12-10T15:04:05.123+01:00.
QString liveTime(const QDateTime& when);

}  // namespace kl516
