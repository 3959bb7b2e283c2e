// The test world's X server: ready when made, named by DISPLAY while it lives, gone after.
#include "support/PrivateXServer.h"

#include "support/HelperEnvironment.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace uvccam::testing {
namespace {

TEST(PrivateXServer, AcceptsClientsWhileItLivesAndRestoresDisplayAfter)
{
    qputenv("DISPLAY", ":4242");
    QString display;
    {
        PrivateXServer server;
        ASSERT_TRUE(server.error().isEmpty()) << server.error().toStdString();
        display = server.display();
        EXPECT_EQ(qgetenv("DISPLAY"), display.toLatin1());
        QString failure;
        EXPECT_FALSE(server.xdotool({ QStringLiteral("getmouselocation") }, &failure).isEmpty())
            << failure.toStdString();
    }
    EXPECT_EQ(qgetenv("DISPLAY"), QByteArray(":4242"));
    qunsetenv("DISPLAY");
    // The server is gone: a client of that display finds nobody.
    QProcess client;
    QProcessEnvironment environment = helperEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    client.setProcessEnvironment(environment);
    client.start(QStringLiteral("xdotool"), { QStringLiteral("getmouselocation") });
    ASSERT_TRUE(client.waitForFinished(10000));
    EXPECT_NE(client.exitCode(), 0);
}

}  // namespace
}  // namespace uvccam::testing
