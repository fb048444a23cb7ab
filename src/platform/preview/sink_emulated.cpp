// The emulated machine's sink: a temporary file of the Linux host, outside
// the machine image, gone when closed.
#include "platform/preview/sink.h"

namespace preview {

std::FILE* openSink() { return std::tmpfile(); }

}  // namespace preview
