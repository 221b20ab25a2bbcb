#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// Heap buffer whose usable start is aligned to 32 bytes, one per SCSI transfer.
// A failed allocation leaves GetBuffer() null; callers treat that as a failed read.
class TKrParagraphBoundaryBuffer {
 public:
  explicit TKrParagraphBoundaryBuffer(size_t size);
  TKrParagraphBoundaryBuffer(const TKrParagraphBoundaryBuffer&) = delete;
  TKrParagraphBoundaryBuffer& operator=(const TKrParagraphBoundaryBuffer&) = delete;
  uint8_t* GetBuffer() const { return Usable; }
  size_t Size() const { return Usable ? RequestedSize : 0; }

 private:
  std::unique_ptr<uint8_t[]> Raw;
  uint8_t* Usable = nullptr;
  size_t RequestedSize = 0;
};
