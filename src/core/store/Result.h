#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace tq3 {

// What went wrong, as a caller needs it to choose its report.
enum class ErrorKind {
    NotFound,         // a file or folder that must exist does not
    TooFewFields,     // a record ended before all of its fields
    NotANumber,       // a number field holds something else, or more than 32 bits
    InUse,            // another desk or program holds the file
    Io,               // reading, writing or creating failed
    Unrepresentable,  // text that would not read back the same (code page, quote, line break)
    NoSuccessor,      // a number at the 32-bit maximum has no next number
    NotADatabase,     // the file exists but is no queue database
    NoConfiguration,  // the database has no usable Configurazione row
    Database,         // a statement failed
    Network,          // the server module's address or the socket failed
    InvalidValue,     // a value outside what the system can use
};

struct Error final {
    ErrorKind kind;
    QString message;  // Italian, ready for the operator
    QString detail;   // technical detail: path, driver text, errno
};

// A value or the Error that kept it from being produced.
template <typename T>
class [[nodiscard]] Result final {
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_data); }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<T>(m_data); }
    T &value() & { return std::get<T>(m_data); }
    T &&value() && { return std::get<T>(std::move(m_data)); }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    const Error &error() const { return std::get<Error>(m_data); }

private:
    std::variant<T, Error> m_data;
};

template <>
class [[nodiscard]] Result<void> final {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_ok(false) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const Error &error() const { return m_error; }

private:
    Error m_error{ErrorKind::Io, {}, {}};
    bool m_ok = true;
};

inline Error makeError(ErrorKind kind, QString message, QString detail = {})
{
    return Error{kind, std::move(message), std::move(detail)};
}

} // namespace tq3
