#include "control/QuorelFix.h"

int main(int argc, char** argv) { return runQuorelFix(argc, argv); }
