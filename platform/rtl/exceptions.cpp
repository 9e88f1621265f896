// The exception family's out-of-line parts.
#include "rtl/exceptions.h"

namespace vcl {

void Abort() { throw EAbort("Operation aborted"); }

}  // namespace vcl
