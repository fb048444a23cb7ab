// Rogue name-server repair.
#pragma once

void wareoutFind();
