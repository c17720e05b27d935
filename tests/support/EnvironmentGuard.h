#pragma once

#include <QByteArray>
#include <QList>

#include <initializer_list>
#include <optional>
#include <utility>

namespace TestSupport {

// Remembers environment variables and puts them back, set or unset, when it goes out of
// scope, so a test may point HOME, XDG_* or locale variables at its own values.
class TEnvironmentGuard
{
public:
    explicit TEnvironmentGuard(std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            FSaved.append(
                {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
    }

    ~TEnvironmentGuard()
    {
        for (const auto &[name, value] : FSaved) {
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }

    TEnvironmentGuard(const TEnvironmentGuard &) = delete;
    TEnvironmentGuard &operator=(const TEnvironmentGuard &) = delete;

private:
    QList<std::pair<QByteArray, std::optional<QByteArray>>> FSaved;
};

} // namespace TestSupport
