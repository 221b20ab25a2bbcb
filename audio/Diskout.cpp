#include "audio/Diskout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sector/Bytes.h"

bool TDiskOut::TFileStream::Create(const std::string& path) {
  Release();
  Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return Fd >= 0;
}

bool TDiskOut::TFileStream::Append(const void* bytes, size_t length) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (length > 0) {
    const ssize_t done = ::write(Fd, p, length);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    length -= static_cast<size_t>(done);
  }
  return true;
}

bool TDiskOut::TFileStream::PutAt(uint64_t offset, uint32_t value) {
  uint8_t bytes[4];
  PutLe32(bytes, value);
  ssize_t done;
  do {
    done = ::pwrite(Fd, bytes, sizeof bytes, static_cast<off_t>(offset));
  } while (done < 0 && errno == EINTR);
  return done == static_cast<ssize_t>(sizeof bytes);
}

bool TDiskOut::TFileStream::Size(uint64_t& size) const {
  const off_t end = ::lseek(Fd, 0, SEEK_END);
  if (end < 0) return false;
  size = static_cast<uint64_t>(end);
  return true;
}

bool TDiskOut::TFileStream::Release() {
  if (Fd < 0) return true;
  const int rc = ::close(Fd);
  Fd = -1;
  return rc == 0;
}

TDiskOut::TDiskOut() {
  SetFormat(2, 16, 44100);
  SetBufferTime(1000);
  Name = "TDiskOut";
}

TDiskOut::~TDiskOut() { Close(); }

void TDiskOut::SetBufferBytes() {
  const uint64_t perBuffer = static_cast<uint64_t>(Format.nSamplesPerSec) * BufferTime / 1000;
  BufferBytes = static_cast<unsigned>(perBuffer * Format.nBlockAlign);
}

bool TDiskOut::SetFormat(unsigned channels, unsigned bitsPerSample, unsigned sampleRate) {
  if (IsOpen()) return false;
  Format = TWaveFormatExtensible{};
  Format.wFormatTag = WAVE_FORMAT_PCM;
  Format.nChannels = static_cast<uint16_t>(channels);
  Format.wBitsPerSample = static_cast<uint16_t>(bitsPerSample);
  Format.nSamplesPerSec = sampleRate;
  Format.nBlockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
  Format.nAvgBytesPerSec = sampleRate * Format.nBlockAlign;
  Format.cbSize = 0;
  SetBufferBytes();
  return true;
}

bool TDiskOut::SetFormatEx(TSampleFormat format, bool extensible, unsigned sampleRate,
                           unsigned channels, uint32_t channelMask) {
  // The fmt chunk length follows the tag; changing it under an open file would make Close
  // patch the data size at the wrong place.
  if (IsOpen()) return false;
  Format = TWaveFormatExtensible{};
  const uint16_t tag = GetWaveFormatTag(format);
  Format.wFormatTag = extensible ? WAVE_FORMAT_EXTENSIBLE : tag;
  Format.nChannels = static_cast<uint16_t>(channels);
  Format.nSamplesPerSec = sampleRate;
  Format.wBitsPerSample = static_cast<uint16_t>(GetBitsPerSample(format));
  Format.nBlockAlign = static_cast<uint16_t>(channels * GetBytesPerSample(format));
  Format.nAvgBytesPerSec = sampleRate * Format.nBlockAlign;
  if (extensible) {
    Format.cbSize = 22;
    Format.wValidBitsPerSample = static_cast<uint16_t>(GetValidBitsPerSample(format));
    Format.dwChannelMask = channelMask;
    if (tag == WAVE_FORMAT_PCM) Format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    if (tag == WAVE_FORMAT_IEEE_FLOAT) Format.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  }
  SetBufferBytes();
  return true;
}

bool TDiskOut::SetBufferTime(unsigned ms) {
  if (IsOpen()) return false;
  BufferTime = ms;
  SetBufferBytes();
  return true;
}

unsigned TDiskOut::GetBufferSamples() const {
  return Format.nBlockAlign == 0 ? 0 : BufferBytes / Format.nBlockAlign;
}

bool TDiskOut::SetFileName(const std::string& fileName) {
  if (IsOpen()) return false;
  FileName = fileName;
  return true;
}

unsigned TDiskOut::FmtLength() const {
  switch (Format.wFormatTag) {
    case WAVE_FORMAT_EXTENSIBLE: return 40;
    case WAVE_FORMAT_IEEE_FLOAT: return 18;
    default: return 16;
  }
}

bool TDiskOut::Open() {
  if (IsOpen()) return false;
  if (!Stream.Create(FileName)) return false;
  const unsigned fmtLength = FmtLength();
  std::vector<uint8_t> header(28 + fmtLength);
  std::memcpy(&header[0], "RIFF", 4);
  PutLe32(&header[4], 28 + fmtLength);
  std::memcpy(&header[8], "WAVEfmt ", 8);
  PutLe32(&header[16], fmtLength);
  const auto format = Format.Serialize();
  std::memcpy(&header[20], format.data(), fmtLength);
  std::memcpy(&header[20 + fmtLength], "data", 4);
  PutLe32(&header[24 + fmtLength], 0);
  if (!Stream.Append(header.data(), header.size())) {
    Stream.Release();
    return false;
  }
  return true;
}

bool TDiskOut::Write(const void* bytes, size_t length) {
  if (!IsOpen()) return false;
  if (length == 0) return true;
  if (bytes == nullptr) return false;
  return Stream.Append(bytes, length);
}

bool TDiskOut::Close() {
  if (!IsOpen()) return false;
  const unsigned fmtLength = FmtLength();
  uint64_t size = 0;
  bool ok = Stream.Size(size) && size >= 28 + fmtLength;
  if (ok) {
    ok = Stream.PutAt(4, static_cast<uint32_t>(size - 8)) &&
         Stream.PutAt(24 + fmtLength, static_cast<uint32_t>(size - (28 + fmtLength)));
  }
  return Stream.Release() && ok;
}
