// The environment of the helper programs tests start (servers, xdotool, setxkbmap ...).
#pragma once

#include <QProcessEnvironment>

namespace uvccam::testing {

// This process's environment without its preload libraries (umockdev's), which are the
// test's business, not the helpers'.
inline QProcessEnvironment helperEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_PRELOAD"));
    return environment;
}

}  // namespace uvccam::testing
