#pragma once

#include <QString>
#include <QTextStream>
#include <functional>
#include <optional>
#include <vector>

#include "cli/CommandLine.h"
#include "dataset/MeasuredSeries.h"
#include "formats/SeriesReader.h"
#include "formats/TextDialect.h"

namespace kl516 {

// kl516-cli assess: interval levels, day-evening-night levels and exceedances of a series read
// from a collection file's set, a point or table text file or a graph file.

// Reads data set `set` (numbered from 1) of the collection file `in`: its times
// (SerialDateTime) and levels. 0 when read; otherwise the exit status, with the message on err.
using ReadCollectionSeries = std::function<int(
    const QString& in, int set, std::vector<double>& times, std::vector<float>& levels)>;

// The exit status of reading a text file's series: 0 when it was read; 1, with the message on
// err, when it could not be read or only in part; 2 when a row has no readable time (`refused`
// ends that message: "nothing was ...").
int textSeriesStatus(const TextSeriesRead& read, const QString& in, QTextStream& err,
                     const QString& refused);

// Reads the measured series of a file of the kind its name gives (fileKindOf): data set `set`
// of a collection file, a point or table text file or a spreadsheet CSV, or a graph file's
// first series. 0 when read; otherwise the exit status, with the message on err: 1 for a file
// that could not be read, 2 for a series refused (a row without a time, a time that runs
// backwards), whose message `refused` ends.
int readMeasuredSeries(const QString& in, FileKind kind, int set,
                       const ReadCollectionSeries& readCollectionSeries, const LocalClock& clock,
                       MeasuredSeries& series, QTextStream& err, const QString& refused);

// Which of a file's level columns a series was taken from, where it had more than one: "level:
// SPL column (the Leq column is a running Leq)"; empty otherwise.
QString levelColumnNote(const MeasuredSeries& series);

// arguments: the command line, read without a fault. Exit status: 0 done; 1 a file could not be
// read; 2 wrong arguments, or a series the assessment refuses (the message says why and where).
int runAssessCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                     const ReadCollectionSeries& readCollectionSeries);

}  // namespace kl516
