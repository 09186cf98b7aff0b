// Shared libraries opened on first use. A library linked into the program is mapped and
// bound at every start (librsvg alone brings some fifty more); most pages need none of
// them, so the picture decoders open theirs only when a picture of their format comes.
#ifndef VELMORANE_PLATFORM_SHARED_LIBRARY_H_
#define VELMORANE_PLATFORM_SHARED_LIBRARY_H_

#include <dlfcn.h>

namespace velmorane {

// The library `soname`, opened with its dependencies; null when it cannot be had.
inline void* OpenSharedLibrary(const char* soname) {
  return ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

// Sets `function` to the symbol `name` of `library` or of the libraries it depends on.
template <typename Function>
bool ResolveSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_SHARED_LIBRARY_H_
