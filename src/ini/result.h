#pragma once

#include <QString>

#include <tuple>  // std::ignore, how a result is discarded in plain sight
#include <type_traits>
#include <utility>

namespace vorn {

// What an operation that can fail gave: success, or a failure with a message
// saying what failed and where (the path, the offset, the system's reason).
// It lives in the bottom library because every library above reports its
// failures this way. [[nodiscard]]: a result is handled, or discarded in
// plain sight with the reason beside it.
//
// There is deliberately no conversion to bool: `if (!error)` read the wrong
// way round when a failure converted to false. Ask ok() or failed().
class [[nodiscard]] Result {
public:
    // Default-constructed results are successes, so a function can start
    // from one and overwrite it with the first failure.
    Result() = default;

    static Result success() { return {}; }
    static Result failure(QString message)
    {
        Result result;
        result.m_ok = false;
        result.m_message = std::move(message);
        return result;
    }

    bool ok() const { return m_ok; }
    bool failed() const { return !m_ok; }

    // Why it failed; empty on success.
    const QString &message() const { return m_message; }

private:
    bool m_ok = true;
    QString m_message;
};

static_assert(!std::is_constructible_v<bool, Result>, "a Result is asked ok() or failed(), never tested as a bool");

} // namespace vorn
