// GoogleTest main for tests that drive real windows: one QApplication on the offscreen platform.
#include <QApplication>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The offscreen screen is a common desktop's (1920x1080) rather than Qt's 800x600, unless the
    // test names another.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || std::string(platform) == "offscreen")
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" QUORVIN_TEST_SCREEN, 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
