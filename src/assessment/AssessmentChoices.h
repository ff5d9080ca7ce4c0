#pragma once

#include <QSettings>

#include "assessment/AssessmentOptions.h"

namespace kl516 {

// The noise assessment's remembered choices in the settings store (group "Assessment"): the
// interval (seconds, 0: automatic), the threshold (dB) and minimum duration (seconds) of an
// exceedance, and the starts of the day periods (day, evening and night for Lden, night for
// Ldn), kept as "hh:mm" texts that the user may edit in the store.
// Each value is checked as the options are (AssessmentOptions.h); one missing or refused reads
// as its default, and day periods out of order read as the default periods.
AssessmentOptions readAssessmentChoices(const QSettings& store);
void writeAssessmentChoices(QSettings& store, const AssessmentOptions& choices);

}  // namespace kl516
