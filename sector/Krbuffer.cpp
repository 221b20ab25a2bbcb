#include "sector/Krbuffer.h"

#include <new>

#include "sector/Convboundary.h"

namespace {
constexpr size_t kAlignSlack = 31;
}

TKrParagraphBoundaryBuffer::TKrParagraphBoundaryBuffer(size_t size) : RequestedSize(size) {
  if (size > static_cast<size_t>(PTRDIFF_MAX) - kAlignSlack) return;
  Raw.reset(new (std::nothrow) uint8_t[size + kAlignSlack]);
  if (Raw) Usable = ConvBoundary(Raw.get());
}
