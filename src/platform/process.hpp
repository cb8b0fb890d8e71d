#pragma once

// What the process takes from whoever started it: the standard streams and the environment.

// Makes the report safe to write, before anything else opens a file: each line is out as soon
// as it is printed. On POSIX systems also a standard stream closed at start is opened on the
// null device in a way that fails every write to it, so that no socket takes its number and a
// lost report is still noticed, and a reader that has gone away makes a write fail instead of
// ending the run.
void secure_standard_streams();

// The value of an environment variable, or nullptr. On POSIX systems a process with raised
// privileges (setuid, file capabilities) reads nothing: its caller's environment must not steer
// what it does.
const char* environment_variable(const char* name);
