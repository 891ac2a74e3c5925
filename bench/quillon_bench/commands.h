// The commands of quillon_bench; each takes the whole command line
// (argv[1] is the command's name) and returns the process exit status.
#pragma once

int runPerft(int argc, char** argv);
int runSearch(int argc, char** argv);
int runEval(int argc, char** argv);
