#pragma once
// A shared object loaded with dlopen; unloaded with the object unless released.
#include <filesystem>
#include <memory>
#include <string>

namespace platform {

class DynamicLibrary {
 public:
  // Null when the file cannot be loaded; error gets the loader's message. With
  // keepLoaded the object stays mapped after the handle is closed.
  static std::unique_ptr<DynamicLibrary> Load(const std::filesystem::path& path, std::string& error,
                                              bool keepLoaded = false);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  void* Symbol(const char* name) const;

 private:
  struct Token {};

 public:
  DynamicLibrary(Token, void* handle) : Handle(handle) {}

 private:
  void* Handle;
};

}  // namespace platform
