#include "restore/QuorelRestore.h"

int main(int argc, char** argv) { return runQuorelRestore(argc, argv); }
