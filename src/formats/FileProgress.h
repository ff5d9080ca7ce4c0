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

// How a text or graph file write ended. A cancelled write keeps the lines written so far; a
// failed one (the file cannot be created, the disk is full) leaves any earlier file as it was
// and carries the reason for the user.
struct FileWriteResult {
    enum class Status { Written, Cancelled, Failed };
    Status status = Status::Failed;
    qint64 lines = 0;  // lines written (text files)
    QString error;     // Failed: "Cannot write \"<path>\": <reason>"

    bool ok() const { return status != Status::Failed; }
};

// The message of a failed write: the file's name and the system's reason.
QString fileWriteError(const QString& path, const QString& reason);

}  // namespace kl516
