#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kl516 {

// A message waiting in the spool for the broker's acknowledgement.
struct SpooledMessage {
    int64_t id = 0;  // increases in the order the messages were spooled
    QByteArray topic;
    QByteArray payload;
};

// The monitor's durable queue: summaries and events are written here (SQLite in WAL mode, each
// append one transaction) before they are published, and removed only when the broker has
// acknowledged them. They survive a broker that is away and a monitor that is killed; they go
// out in the order they came. Past its byte limit the spool drops its oldest messages and
// counts them; the next message that reports drops carries that count.
class Spool {
  public:
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Opens or creates the spool file. Null, with the reason in *error, when it cannot.
    static std::unique_ptr<Spool> open(const QString& path, int64_t limitBytes, QString* error);

    // Appends a message in one transaction. payload is built with the next sequence number of
    // its topic (1, 2, ... over the spool's whole life) and, when reportsDrops, the count of
    // messages dropped since the last such report (which then starts again from 0). False when
    // the disk refused it.
    bool append(const QByteArray& topic, bool reportsDrops,
                const std::function<QByteArray(int64_t sequence, int64_t dropped)>& payload);
    // Up to max messages after id, oldest first.
    std::vector<SpooledMessage> after(int64_t id, int max);
    bool remove(int64_t id);

    int64_t count() const { return count_; }
    int64_t bytes() const { return bytes_; }
    // Messages dropped over the byte limit and not yet reported.
    int64_t unreportedDrops();
    QString lastError() const;

  private:
    explicit Spool(sqlite3* db, int64_t limitBytes);
    bool exec(const char* sql);
    int64_t counter(const QByteArray& key);
    bool setCounter(const QByteArray& key, int64_t value);
    bool dropOldest();
    sqlite3_stmt* prepare(const char* sql);

    sqlite3* db_;
    int64_t limitBytes_;
    int64_t count_ = 0;
    int64_t bytes_ = 0;
    std::vector<sqlite3_stmt*> statements_;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    sqlite3_stmt* delete_ = nullptr;
    sqlite3_stmt* sizeOf_ = nullptr;
    sqlite3_stmt* getCounter_ = nullptr;
    sqlite3_stmt* setCounter_ = nullptr;
    sqlite3_stmt* oldest_ = nullptr;
};

}  // namespace kl516
