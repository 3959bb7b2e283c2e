// Environment variables set or removed for a test's time, and put back as they were after it.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace uvccam::testing {

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment()
    {
        // In reverse, so that a variable changed twice ends as it was first.
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                qputenv(it->first.constData(), *it->second);
            else
                qunsetenv(it->first.constData());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void set(const QByteArray& name, const QByteArray& value)
    {
        save(name);
        qputenv(name.constData(), value);
    }
    void unset(const QByteArray& name)
    {
        save(name);
        qunsetenv(name.constData());
    }

private:
    void save(const QByteArray& name)
    {
        std::optional<QByteArray> value;
        if (qEnvironmentVariableIsSet(name.constData()))
            value = qgetenv(name.constData());
        saved_.emplace_back(name, std::move(value));
    }

    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

}  // namespace uvccam::testing
