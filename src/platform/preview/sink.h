// Where the bytes of a file the previewed program writes go: a stream of the
// host, never a file of the machine. One definition per backend.
#pragma once

#include <cstdio>

namespace preview {

std::FILE* openSink();

}  // namespace preview
