#include "formats/TextFileWriter.h"

#include <QFileInfo>
#include <QSaveFile>

#include "formats/ProgressPacer.h"
#include "formats/SafeWrite.h"

namespace kl516 {

FileWriteResult writeTextFile(const QString& path, FileProgress* progress,
                              const TextLinesWriter& write) {
    FileWriteResult result;
    // A cancelled save must not leave a part of the new lines in place of a whole earlier file.
    const bool replacing = QFileInfo::exists(path);
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
    if (lines >= 0 && cancelled && replacing) {
        file.cancelWriting();
        file.commit();  // drops the temporary file
        pacer.finish(lines);
        result.status = FileWriteResult::Status::Cancelled;
        result.lines = lines;
        result.keptEarlier = true;
        return result;
    }
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
