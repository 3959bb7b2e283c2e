// Runs a program to its end and keeps its exit status and output, for the tool's shell-side tests.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;

    QStringList lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

inline ProgramRun runProgram(const QString& program, const QStringList& arguments)
{
    static int argc = 1;
    static char name[] = "tool_shell_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);  // QProcess wants one; it lives for the process
    QProcess process;
    process.start(program, arguments);
    // A hang is a failure, not a wait: nothing these tests run needs real time.
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    ProgramRun result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
