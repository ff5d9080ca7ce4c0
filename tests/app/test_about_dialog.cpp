#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/ui/AboutDialog.h"

using namespace kl516;

// The About box names this program, as the splash at start-up and from Help > About; only the
// splash goes without its OK button.
TEST(AboutDialog, CaptionNamesTheProgramInBothRoles) {
    for (const bool asSplash : {false, true}) {
        AboutDialog about(asSplash);
        about.show();
        EXPECT_EQ(about.windowTitle(), QStringLiteral("About KL516")) << asSplash;
        EXPECT_EQ(about.okButton->isVisible(), !asSplash);
        EXPECT_FALSE(about.versionLabel->text().isEmpty());
    }
}
