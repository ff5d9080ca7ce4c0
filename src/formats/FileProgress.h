#pragma once

#include <QString>
#include <QtGlobal>

namespace kl516 {

// Progress and cancellation of a file operation: a writer reports the lines written so far, the
// list reader the lines read; both look at cancelled() after every line and stop when it is
// true. The windows show it in the progress window; the command-line tool passes none.
class FileProgress {
  public:
    virtual ~FileProgress() = default;
    virtual void lines(qint64 count) = 0;
    virtual bool cancelled() = 0;
};

// How a text or graph file write ended. A cancelled write of a new file keeps the lines written
// so far; a cancelled write over an existing file, and a failed one (the file cannot be created,
// the disk is full), leave the earlier file as it was; a failure carries the reason.
struct FileWriteResult {
    enum class Status { Written, Cancelled, Failed };
    Status status = Status::Failed;
    qint64 lines = 0;          // lines written (text files), kept unless keptEarlier
    bool keptEarlier = false;  // Cancelled: the file existed and was left untouched
    QString error;             // Failed: "Cannot write \"<path>\": <reason>"

    bool ok() const { return status != Status::Failed; }
};

// The message of a failed write: the file's name and the system's reason.
QString fileWriteError(const QString& path, const QString& reason);

// What a cancelled write left: the earlier file untouched, or a new file of so many lines.
QString cancelledWriteMessage(const QString& path, const FileWriteResult& result);

}  // namespace kl516
