// The run log: when KELVANE_LOG names a file, every run appends to it one line
// per message it shows (or, in silent mode, would have shown) and a last line
// with its exit code, so that a silent deployment can tell what went wrong.
#pragma once

// Appends "<local time> <caption>: <text>"; line ends inside the text are
// written as "\n" so that each message stays one line.
void AppendRunLogMessage(const char* caption, const char* text);
// Appends "<local time> exit code <n>".
void AppendRunLogExitCode(int exitCode);
