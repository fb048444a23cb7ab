// Placeholder until the extension sweep lands.
#include "detectors/quorel.h"

void quorelFind() {}
