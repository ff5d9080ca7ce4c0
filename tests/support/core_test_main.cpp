#include <gtest/gtest.h>

#include <QCoreApplication>

// Core tests that use timers or signals need an event dispatcher, but no windows.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
