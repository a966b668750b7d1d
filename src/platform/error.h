#pragma once

#include <QString>
#include <exception>

namespace quill::platform {

// The one error type the program reports: the general error handler shows message().
class Error : public std::exception
{
public:
    explicit Error(QString message);
    ~Error() override;

    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The text the user is shown for any exception: an Error's message, otherwise what() read as UTF-8.
QString messageOf(const std::exception& error);

} // namespace quill::platform
