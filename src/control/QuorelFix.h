// The run sequence: the one fixed order of an interactive run, and the
// reboot pass that finishes locked removals after the restart.
#pragma once

// The whole program: returns the exit status (always 0).
int runQuorelFix(int argc, char** argv);
