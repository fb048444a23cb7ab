// The administrator gate of every run.
#pragma once

// 1 when the process token holds the built-in Administrators group for more
// than deny checks, else 0.
int isAdmin();
