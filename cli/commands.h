// The commands of tunelo-cli; each takes the arguments after its name and returns the exit code.
#pragma once

namespace tunelo::cli {

int RunFrames(int argc, char** argv);
int RunDecode(int argc, char** argv);
int RunBench(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunPlay(int argc, char** argv);
int RunWav(int argc, char** argv);

} // namespace tunelo::cli
