// The krv subcommands: each takes the arguments after its name and returns the exit status.
#pragma once

namespace kestrune {

int runPackCommand(int argc, char** argv);
int runXmCommand(int argc, char** argv);
int runSceneCommand(int argc, char** argv);
int runSnapshotCommand(int argc, char** argv);
int runCaptureCommand(int argc, char** argv);

// Exit statuses shared by every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

} // namespace kestrune
