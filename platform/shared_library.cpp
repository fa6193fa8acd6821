#include "platform/shared_library.h"

#include <dlfcn.h>

namespace platform {

SharedLibrary::SharedLibrary(const char* soname) : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}

void* SharedLibrary::address(const char* name) const {
    if (!handle_) return nullptr;
    return dlsym(handle_, name);  // searches the library's own dependencies too
}

}  // namespace platform
