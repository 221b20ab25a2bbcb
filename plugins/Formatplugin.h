#pragma once
// The interface between the program and a file-type plug-in module (*.fpi).
//
// A module exports "_CreatePluginModule" and "_DestroyPluginModule" (or the same names
// without the underscore). The object it creates is destroyed by the same module.
// Texts cross only as caller-owned buffers: (size, buffer), at most size - 1
// characters copied, the rest of the first size - 1 bytes zeroed, always terminated,
// the length returned. No exception leaves a plug-in.

#include <memory>

class TFormatPlugin {
 public:
  virtual int GetPluginType() = 0;
  virtual void Reset() = 0;
  virtual int GetHeaderSize() = 0;
  virtual int Detect(const void* data, unsigned size) = 0;
  virtual unsigned FindEnd(const void* data, unsigned size, bool* endFound) = 0;
  virtual int GetTypeName(int bufSize, char* buf) = 0;
  virtual int GetExtension(int bufSize, char* buf) = 0;
  virtual int GetName(int bufSize, char* buf) = 0;
  virtual int GetVersion(int bufSize, char* buf) = 0;
  virtual int GetDescription(int bufSize, char* buf) = 0;
  virtual int GetCopyright(int bufSize, char* buf) = 0;
  virtual int GetReserved() = 0;
  virtual ~TFormatPlugin() = default;
};

using TCreatePluginModule = TFormatPlugin* (*)();
using TDestroyPluginModule = void (*)(TFormatPlugin*);

// Copies `text` into a caller's buffer as the convention above says; returns the length.
inline int CopyPluginText(const char* text, int bufSize, char* buf) {
  if (buf == nullptr || bufSize <= 0) return 0;
  int length = 0;
  const int limit = bufSize - 1;
  if (text != nullptr)
    while (length < limit && text[length] != '\0') ++length;
  for (int i = 0; i < limit; ++i) buf[i] = i < length ? text[i] : '\0';
  buf[limit] = '\0';
  return length;
}

// The texts a plug-in reports about itself and the files it finds.
struct TPluginTexts {
  const char* TypeName;
  const char* Extension;  // nullptr: the plug-in answers GetExtension itself
  const char* Name;
  const char* Version;
  const char* Description;
  const char* Copyright;
};

// The text operations of a plug-in, answered from its table.
template <const TPluginTexts& Texts>
class TPluginWithTexts : public TFormatPlugin {
 public:
  int GetTypeName(int bufSize, char* buf) noexcept override { return CopyPluginText(Texts.TypeName, bufSize, buf); }
  int GetExtension(int bufSize, char* buf) noexcept override { return CopyPluginText(Texts.Extension, bufSize, buf); }
  int GetName(int bufSize, char* buf) noexcept override { return CopyPluginText(Texts.Name, bufSize, buf); }
  int GetVersion(int bufSize, char* buf) noexcept override { return CopyPluginText(Texts.Version, bufSize, buf); }
  int GetDescription(int bufSize, char* buf) noexcept override {
    return CopyPluginText(Texts.Description, bufSize, buf);
  }
  int GetCopyright(int bufSize, char* buf) noexcept override { return CopyPluginText(Texts.Copyright, bufSize, buf); }
  int GetReserved() noexcept override { return 0; }
};

// Defines the two exports of a module whose plug-in class is `Class`. The object's
// ownership passes to the host as a raw pointer and comes back through the destroy export.
#define QUARNEL_PLUGIN_MODULE(Class)                                                           \
  extern "C" __attribute__((visibility("default"))) TFormatPlugin* _CreatePluginModule() {     \
    try {                                                                                      \
      return std::make_unique<Class>().release();                                             \
    } catch (...) {                                                                            \
      return nullptr;                                                                          \
    }                                                                                          \
  }                                                                                            \
  extern "C" __attribute__((visibility("default"))) void _DestroyPluginModule(TFormatPlugin* plugin) { \
    std::unique_ptr<TFormatPlugin> owned(plugin);                                              \
  }
