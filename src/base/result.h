#pragma once

// The one way the program says that something failed: a Result holds either
// the value or an Error, one plain sentence for the user that names what
// failed (the file, the table) and why. Every library returns it; a value
// that may simply be absent (a parse, a lookup, a cancelled dialog) is a
// std::optional instead.

#include <QString>
#include <utility>
#include <variant>

namespace kolta {

struct Error
{
    QString message;
};

template<typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_data(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_data.index() == 0; }
    const T &value() const { return std::get<0>(m_data); }
    T &value() { return std::get<0>(m_data); }
    const Error &error() const { return std::get<1>(m_data); }

private:
    std::variant<T, Error> m_data;
};

template<>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    const Error &error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace kolta
