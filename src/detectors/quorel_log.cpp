// Placeholder until the extension inventory lands.
#include "detectors/quorel.h"

void quorelLog() {}
