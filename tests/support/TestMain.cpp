#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <gtest/gtest.h>

// One QApplication for every test program, so widget tests and database tests
// share a main; offscreen comes from the test's environment.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Tolmar");
    QCoreApplication::setApplicationName("Brontal-tests");
    ::testing::InitGoogleTest(&argc, argv);
    // A dialog a test did not script fails that test instead of hanging it.
    fw::ScriptedDialogs::setDefaultFailureHandler(
        [](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    return RUN_ALL_TESTS();
}
