// The open FindFirstFileW searches of the emulated drives (find.cpp), for the
// machine's reset when an image is chosen.
#pragma once

namespace emu {

// Ends every open FindFirstFileW search; their handles stay invalid, since
// search ids are never given twice.
void endFileSearches();

}  // namespace emu
