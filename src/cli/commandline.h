#pragma once

#include "cli/batchoptions.h"

#include <optional>

namespace quill::cli {

// Exit statuses of quillmere-export.
enum ExitStatus
{
    kExitExported = 0,
    kExitSomeFailed = 1,
    kExitUsage = 2, // bad arguments, a failed login, nothing found
};

// What the command line asks for, or what to print and the exit status (the help and the version
// exit 0, a wrong call 2).
struct CommandLine
{
    std::optional<BatchOptions> options;
    QString text;
    int exitStatus = kExitUsage;
};

CommandLine parseCommandLine(const QStringList& arguments);

QString helpText();

} // namespace quill::cli
