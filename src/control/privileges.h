// The administrator gate of every run, and the privileges the sweeps and the
// restart need.
#pragma once

// 1 when the process token holds the built-in Administrators group for more
// than deny checks, else 0.
int isAdmin();
// 0 when both privileges were enabled, else 1 to 5 (see privileges.cpp).
int elevate();
