// The privileges the general sweep enables first: debug, to open other users'
// processes, and shutdown, which the restart at the end of a run needs.
#pragma once

// 0 when both privileges were enabled, else 1 to 5 (see genscan_privileges.cpp).
int elevate();
