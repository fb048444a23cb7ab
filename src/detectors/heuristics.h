// Heuristic checks that follow a registration instead of a fixed table: the
// fake Java plug-in.
#pragma once

int heuristic();
int javaplugin();
