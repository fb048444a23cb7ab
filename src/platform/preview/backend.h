// The backend under the preview layer: every seam call of the backend the
// build links (windows/ or emulated/), under the C name qf_backend_<name>.
// The preview build compiles that backend with its namespace renamed, so that
// its seam calls do not collide with the layer's; backend.cpp, compiled the
// same way, gives them these names. Their types are the seam's own: the
// renamed namespace declares the same layouts.
#pragma once

#include "platform/win32.h"

namespace win {
extern "C" {
#define QF_SEAM_CALL(result, name, parameters, arguments) result qf_backend_##name parameters;
#include "platform/preview/seam_calls.inc"
#undef QF_SEAM_CALL
}
}  // namespace win
