// Placeholder until the Java plug-in heuristic lands.
#include "detectors/heuristics.h"

int heuristic() { return javaplugin(); }
int javaplugin() { return 0; }
