// main() for widget tests: a private settings folder is in place before the application object exists,
// and the application carries the program's identity, as the entry gives it.
#pragma once

#include "app/applicationidentity.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#define PARLINK_TEST_MAIN(TestClass)                                                                                   \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir settingsHome;                                                                                    \
        qputenv("XDG_CONFIG_HOME", settingsHome.path().toUtf8());                                                      \
        QApplication app(argc, argv);                                                                                  \
        setApplicationIdentity();                                                                                      \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
