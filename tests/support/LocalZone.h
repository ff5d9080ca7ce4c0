#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

// The local time zone (TZ) for the life of the object; the one before comes back after it.
class LocalZone {
  public:
    explicit LocalZone(const char* zone)
        : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone() {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

  private:
    QByteArray old_;
    bool had_;
};
