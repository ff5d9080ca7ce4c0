#include "formats/TextFileWriter.h"

#include <QSaveFile>

#include "formats/ProgressPacer.h"
#include "formats/SafeWrite.h"

namespace kl516 {

FileWriteResult writeTextFile(const QString& path, FileProgress* progress,
                              const TextLinesWriter& write) {
    FileWriteResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = fileWriteError(path, file.errorString());
        return result;
    }
    ProgressPacer pacer(progress);
    bool cancelled = false;
    const qint64 lines = write(file, [&](qint64 written) {
        pacer.lines(written);
        cancelled = pacer.cancelled();
        return !cancelled;
    });
    QString reason;
    if (lines < 0) {
        reason = file.errorString();
        file.cancelWriting();
        file.commit();  // drops the temporary file
        result.error = fileWriteError(path, reason);
        return result;
    }
    if (!commitFully(file, &reason)) {
        result.error = fileWriteError(path, reason);
        return result;
    }
    pacer.finish(lines);
    result.status =
        cancelled ? FileWriteResult::Status::Cancelled : FileWriteResult::Status::Written;
    result.lines = lines;
    return result;
}

}  // namespace kl516
