// The backend's seam calls under their C names (backend.h). Compiled with the
// backend, its namespace renamed: `win` here is the backend's namespace.
#include "platform/preview/backend.h"

namespace win {
extern "C" {
#define QF_SEAM_CALL(result, name, parameters, arguments) \
  result qf_backend_##name parameters { return win::name arguments; }
#include "platform/preview/seam_calls.inc"
#undef QF_SEAM_CALL
}
}  // namespace win
