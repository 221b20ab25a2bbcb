#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/Wavedata.h"

// An audio sink: a format, a buffer size and a stream of sample bytes.
class TAudioOut {
 public:
  TAudioOut() : Name("AudioOut") {}
  virtual ~TAudioOut() = default;
  TAudioOut(const TAudioOut&) = delete;
  TAudioOut& operator=(const TAudioOut&) = delete;

  virtual bool SetFormat(unsigned channels, unsigned bitsPerSample, unsigned sampleRate) = 0;
  virtual bool SetFormatEx(TSampleFormat format, bool extensible, unsigned sampleRate,
                           unsigned channels, uint32_t channelMask) = 0;
  virtual bool SetBufferTime(unsigned ms) = 0;
  virtual unsigned GetBufferBytes() const = 0;
  virtual unsigned GetBufferSamples() const = 0;
  virtual bool SetFileName(const std::string& fileName) = 0;
  virtual bool Open() = 0;
  virtual bool Close() = 0;
  virtual bool Write(const void* bytes, size_t length) = 0;
  virtual std::string GetDeviceName() const = 0;

  const std::string& GetName() const { return Name; }
  const TWaveFormatExtensible& GetFormat() const { return Format; }
  unsigned GetBufferTime() const { return BufferTime; }

 protected:
  std::string Name;
  TWaveFormatExtensible Format;
  unsigned BufferTime = 0;
  unsigned BufferBytes = 0;
};

// Writes a RIFF/WAVE file: the header when opened, the chunk sizes patched in when closed.
class TDiskOut : public TAudioOut {
 public:
  TDiskOut();
  ~TDiskOut() override;

  bool SetFormat(unsigned channels, unsigned bitsPerSample, unsigned sampleRate) override;
  bool SetFormatEx(TSampleFormat format, bool extensible, unsigned sampleRate, unsigned channels,
                   uint32_t channelMask) override;
  bool SetBufferTime(unsigned ms) override;
  unsigned GetBufferBytes() const override { return BufferBytes; }
  unsigned GetBufferSamples() const override;
  bool SetFileName(const std::string& fileName) override;
  bool Open() override;
  // False also when the sizes could not be written; the file is closed either way.
  bool Close() override;
  // False when no file is open or not every byte reached the file.
  bool Write(const void* bytes, size_t length) override;
  std::string GetDeviceName() const override { return std::string(); }

  bool IsOpen() const { return Stream.IsOpen(); }
  const std::string& GetFileName() const { return FileName; }

 private:
  class TFileStream {
   public:
    TFileStream() = default;
    ~TFileStream() { Release(); }
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    bool Create(const std::string& path);
    bool Append(const void* bytes, size_t length);
    bool PutAt(uint64_t offset, uint32_t value);
    bool Size(uint64_t& size) const;
    bool Release();  // false when closing reported an error
    bool IsOpen() const { return Fd >= 0; }

   private:
    int Fd = -1;
  };

  unsigned FmtLength() const;
  void SetBufferBytes();

  TFileStream Stream;
  std::string FileName;
};
