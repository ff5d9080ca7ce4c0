#include "monitor/Spool.h"

#include <sqlite3.h>

namespace kl516 {

namespace {

const QByteArray kDroppedKey = "dropped";

QByteArray sequenceKey(const QByteArray& topic) {
    return "sequence:" + topic;
}

}  // namespace

Spool::Spool(sqlite3* db, int64_t limitBytes) : db_(db), limitBytes_(limitBytes) {}

Spool::~Spool() {
    for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
    sqlite3_close(db_);
}

sqlite3_stmt* Spool::prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK)
        return nullptr;
    statements_.push_back(statement);
    return statement;
}

bool Spool::exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString Spool::lastError() const {
    return QString::fromUtf8(sqlite3_errmsg(db_));
}

std::unique_ptr<Spool> Spool::open(const QString& path, int64_t limitBytes, QString* error) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<Spool> spool(new Spool(db, limitBytes));
    const auto fail = [&](const QString& reason) {
        if (error) *error = reason;
        return nullptr;
    };
    if (rc != SQLITE_OK || db == nullptr)
        return fail(db ? spool->lastError() : QStringLiteral("out of memory"));
    sqlite3_busy_timeout(db, 5000);
    // WAL: an append is one small write at the end; FULL: an appended summary is on the disk
    // before it is published, so neither a kill nor a power cut loses it.
    if (!spool->exec("PRAGMA journal_mode=WAL") || !spool->exec("PRAGMA synchronous=FULL") ||
        !spool->exec("CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY AUTOINCREMENT,"
                     " topic BLOB NOT NULL, payload BLOB NOT NULL)") ||
        !spool->exec("CREATE TABLE IF NOT EXISTS counters(name BLOB PRIMARY KEY,"
                     " value INTEGER NOT NULL)"))
        return fail(spool->lastError());
    spool->insert_ = spool->prepare("INSERT INTO messages(topic, payload) VALUES(?, ?)");
    spool->select_ =
        spool->prepare("SELECT id, topic, payload FROM messages WHERE id > ? ORDER BY id LIMIT ?");
    spool->delete_ = spool->prepare("DELETE FROM messages WHERE id = ?");
    spool->sizeOf_ =
        spool->prepare("SELECT length(topic) + length(payload) FROM messages WHERE id = ?");
    spool->getCounter_ = spool->prepare("SELECT value FROM counters WHERE name = ?");
    spool->setCounter_ =
        spool->prepare("INSERT OR REPLACE INTO counters(name, value) VALUES(?, ?)");
    spool->oldest_ = spool->prepare(
        "SELECT id, length(topic) + length(payload) FROM messages ORDER BY id LIMIT 1");
    sqlite3_stmt* totals = spool->prepare(
        "SELECT count(*), coalesce(sum(length(topic) + length(payload)), 0) FROM messages");
    if (!spool->insert_ || !spool->select_ || !spool->delete_ || !spool->sizeOf_ ||
        !spool->getCounter_ || !spool->setCounter_ || !spool->oldest_ || !totals)
        return fail(spool->lastError());
    if (sqlite3_step(totals) != SQLITE_ROW) return fail(spool->lastError());
    spool->count_ = sqlite3_column_int64(totals, 0);
    spool->bytes_ = sqlite3_column_int64(totals, 1);
    sqlite3_reset(totals);
    return spool;
}

int64_t Spool::counter(const QByteArray& key) {
    sqlite3_bind_blob(getCounter_, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    const int64_t value =
        sqlite3_step(getCounter_) == SQLITE_ROW ? sqlite3_column_int64(getCounter_, 0) : 0;
    sqlite3_reset(getCounter_);
    return value;
}

bool Spool::setCounter(const QByteArray& key, int64_t value) {
    sqlite3_bind_blob(setCounter_, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(setCounter_, 2, value);
    const bool ok = sqlite3_step(setCounter_) == SQLITE_DONE;
    sqlite3_reset(setCounter_);
    return ok;
}

int64_t Spool::unreportedDrops() {
    return counter(kDroppedKey);
}

bool Spool::dropOldest() {
    if (sqlite3_step(oldest_) != SQLITE_ROW) {
        sqlite3_reset(oldest_);
        return false;
    }
    const int64_t id = sqlite3_column_int64(oldest_, 0);
    const int64_t size = sqlite3_column_int64(oldest_, 1);
    sqlite3_reset(oldest_);
    sqlite3_bind_int64(delete_, 1, id);
    const bool ok = sqlite3_step(delete_) == SQLITE_DONE;
    sqlite3_reset(delete_);
    if (!ok || !setCounter(kDroppedKey, counter(kDroppedKey) + 1)) return false;
    --count_;
    bytes_ -= size;
    return true;
}

bool Spool::append(const QByteArray& topic, bool reportsDrops,
                   const std::function<QByteArray(int64_t, int64_t)>& payload) {
    if (!exec("BEGIN IMMEDIATE")) return false;
    const int64_t countBefore = count_, bytesBefore = bytes_;
    const auto rollback = [&] {
        exec("ROLLBACK");
        count_ = countBefore;
        bytes_ = bytesBefore;
        return false;
    };
    const int64_t sequence = counter(sequenceKey(topic)) + 1;
    const int64_t dropped = reportsDrops ? counter(kDroppedKey) : 0;
    const QByteArray body = payload(sequence, dropped);
    sqlite3_bind_blob(insert_, 1, topic.constData(), int(topic.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert_, 2, body.constData(), int(body.size()), SQLITE_TRANSIENT);
    const bool inserted = sqlite3_step(insert_) == SQLITE_DONE;
    sqlite3_reset(insert_);
    if (!inserted || !setCounter(sequenceKey(topic), sequence) ||
        (reportsDrops && !setCounter(kDroppedKey, 0)))
        return rollback();
    ++count_;
    bytes_ += topic.size() + body.size();
    // Over the limit the oldest go, but never the message just appended.
    while (bytes_ > limitBytes_ && count_ > 1)
        if (!dropOldest()) return rollback();
    if (!exec("COMMIT")) return rollback();
    return true;
}

std::vector<SpooledMessage> Spool::after(int64_t id, int max) {
    std::vector<SpooledMessage> messages;
    sqlite3_bind_int64(select_, 1, id);
    sqlite3_bind_int(select_, 2, max);
    while (sqlite3_step(select_) == SQLITE_ROW) {
        SpooledMessage m;
        m.id = sqlite3_column_int64(select_, 0);
        m.topic = QByteArray(static_cast<const char*>(sqlite3_column_blob(select_, 1)),
                             sqlite3_column_bytes(select_, 1));
        m.payload = QByteArray(static_cast<const char*>(sqlite3_column_blob(select_, 2)),
                               sqlite3_column_bytes(select_, 2));
        messages.push_back(std::move(m));
    }
    sqlite3_reset(select_);
    return messages;
}

bool Spool::remove(int64_t id) {
    sqlite3_bind_int64(sizeOf_, 1, id);
    const bool found = sqlite3_step(sizeOf_) == SQLITE_ROW;
    const int64_t size = found ? sqlite3_column_int64(sizeOf_, 0) : 0;
    sqlite3_reset(sizeOf_);
    if (!found) return true;  // dropped over the limit meanwhile, or removed before
    // A removal lost to a power cut only sends its message again, which at-least-once allows:
    // it need not wait for the disk as an append does.
    exec("PRAGMA synchronous=NORMAL");
    sqlite3_bind_int64(delete_, 1, id);
    const bool ok = sqlite3_step(delete_) == SQLITE_DONE;
    sqlite3_reset(delete_);
    exec("PRAGMA synchronous=FULL");
    if (!ok) return false;
    --count_;
    bytes_ -= size;
    return true;
}

}  // namespace kl516
