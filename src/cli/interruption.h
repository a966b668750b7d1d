#pragma once

namespace quill::cli {

// Ctrl-C (SIGINT) and kill (SIGTERM) ask the running exports to stop: the workbooks being written are
// abandoned unsaved, the finished ones stay. A second signal ends the program at once. A signal
// handler can only reach state of the process, so the request is kept there, for this class alone.
class Interruption
{
public:
    // Catches the two signals from now on; a write to a closed pipe fails instead of ending the program.
    static void install();
    static bool requested();
    // The signal that asked, or 0.
    static int signalNumber();
};

} // namespace quill::cli
