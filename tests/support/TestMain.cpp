// Test main shared by every suite: a Qt application object exists for the
// whole run, so code under test can use timers, queued calls and Qt SQL.
#include <gtest/gtest.h>

#ifdef PA_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <cstdlib>

namespace {

// Every suite runs offscreen, answers LAN discovery on loopback only and
// finds the switch package, the binaries and the sources of this build.
// A value already in the environment wins.
void setTestEnvironment()
{
    const char *const defaults[][2] = {
        {"QT_QPA_PLATFORM", "offscreen"},
        {"VELMAR_DISCOVERY_LISTEN", "127.0.0.1:0"},
        {"VELMAR_DISCOVERY_REPLY", "127.0.0.1:19981"},
        // Camera searches probe a closed loopback port, never the LAN.
        {"PA_ONVIF_PROBE_TARGET", "127.0.0.1:9"},
        {"PA_SWITCH_DIR", PA_TEST_SWITCH_DIR},
        {"PA_BIN_DIR", PA_TEST_BIN_DIR},
        {"PA_SOURCE_DIR", PA_TEST_SOURCE_DIR},
    };
    for (const auto &entry : defaults)
        ::setenv(entry[0], entry[1], 0);
}

} // namespace

int main(int argc, char **argv)
{
    setTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
