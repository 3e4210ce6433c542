#include "SaneReaderCancel.h"

#include <dlfcn.h>
#include <pthread.h>

void keepSaneReaderCancellationDeferred() {}

// Defined in the program (and exported by its link options), this comes
// before the C library's own for every library loaded later, SANE backends
// included.
extern "C" int pthread_setcanceltype(int type, int* oldType) {
  using Function = int (*)(int, int*);
  static const Function next = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "pthread_setcanceltype"));
  if (!next) return 0;
  return next(type == PTHREAD_CANCEL_ASYNCHRONOUS ? PTHREAD_CANCEL_DEFERRED : type, oldType);
}
