#pragma once

#include <QString>
#include <optional>

namespace quill::cli {

// The server password, never from the command line: read from the file descriptor when one is given
// (up to the first line break), else the environment variable QUILLMERE_PASSWORD, else asked on the
// terminal without echo.
struct PasswordAnswer
{
    std::optional<QString> password;
    QString problem; // why there is none
};

PasswordAnswer readPassword(int fd, const QString& userName);

} // namespace quill::cli
