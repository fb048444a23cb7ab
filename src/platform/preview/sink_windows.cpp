// Windows' sink: the NUL device, which takes every byte and keeps none.
#include <cstdio>

#include "platform/preview/sink.h"

namespace preview {

std::FILE* openSink() { return ::_wfopen(L"NUL", L"wb"); }

}  // namespace preview
