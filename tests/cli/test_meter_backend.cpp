#include <gtest/gtest.h>

#include <QTextStream>

#include "cli/MeterBackend.h"
#include "link/Clock.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

// The tool's presence checks open the device again and again; a reason the user can fix is said
// once, and nothing is said when there is none.
TEST(OpenProblemReporter, SaysAFixableOpenProblemOnce) {
    const QString fixable = QStringLiteral("permission denied on /dev/hidraw9: ...");
    for (const QString& problem : {fixable, QString()}) {
        SCOPED_TRACE(problem.toStdString());
        ManualClock clock;
        SimulatedMeter::Options options;
        options.openFailure.count = 3;  // the first three opens fail
        QString text;
        QTextStream err(&text);
        OpenProblemReporter meter(std::make_unique<SimulatedMeter>(clock, options),
                                  [&] { return problem; }, err);
        for (int i = 0; i < 3; ++i) EXPECT_NE(meter.open(kMeterVendorId, kMeterProductId), 0);
        EXPECT_EQ(meter.open(kMeterVendorId, kMeterProductId), 0);
        EXPECT_EQ(text, problem.isEmpty() ? QString() : problem + QLatin1Char('\n'));
    }
}
