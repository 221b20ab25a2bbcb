#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::filesystem::path& path, std::string& error, bool keepLoaded) {
  // A name without "/" would make dlopen search the library path.
  std::string file = path.string();
  if (file.find('/') == std::string::npos) file = "./" + file;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | (keepLoaded ? RTLD_NODELETE : 0));
  if (handle == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "cannot load " + file;
    return nullptr;
  }
  return std::make_unique<DynamicLibrary>(Token{}, handle);
}

DynamicLibrary::~DynamicLibrary() { dlclose(Handle); }

void* DynamicLibrary::Symbol(const char* name) const { return dlsym(Handle, name); }

}  // namespace platform
