#pragma once

#include <QString>
#include <QTextStream>
#include <functional>
#include <optional>
#include <vector>

#include "cli/CommandLine.h"

namespace kl516 {

// kl516-cli assess: interval levels, day-evening-night levels and exceedances of a series read
// from a collection file's set, a point or table text file or a graph file.

// Reads data set `set` (numbered from 1) of the collection file `in`: its times
// (SerialDateTime) and levels. 0 when read; otherwise the exit status, with the message on err.
using ReadCollectionSeries = std::function<int(
    const QString& in, int set, std::vector<double>& times, std::vector<float>& levels)>;

// The files a series is read from, by their suffix: a collection file (.rec), a point or table
// text file (.txt, .csv), a graph file (.ghf); nothing for any other.
enum class SeriesFileKind { Collection, Text, Graph };
std::optional<SeriesFileKind> seriesFileKind(const QString& path);

// Reads the whole series of a point or table text file: times (SerialDateTime) and levels (NaN
// for "no level"). 0 when read; otherwise the exit status, with the message on err. A row
// without a readable time refuses the series; `refused` ends that message ("nothing was ...").
int readTextFileSeries(const QString& in, std::vector<double>& times, std::vector<float>& levels,
                       QTextStream& err, const QString& refused = {});

// arguments: the command line, read without a fault. Exit status: 0 done; 1 a file could not be
// read; 2 wrong arguments, or a series the assessment refuses (the message says why and where).
int runAssessCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                     const ReadCollectionSeries& readCollectionSeries);

}  // namespace kl516
