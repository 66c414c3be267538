// Machinery shared by the image codecs: pixel buffer replacement with size
// checks, stream size queries, and the buffered decoder input.
#include "image/codec.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "image/image_access.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qvr::detail {

void CopyOut(uint8_t* dst, const uint8_t* src, size_t bytes, bool streaming) {
#if defined(__SSE2__)
  if (streaming && bytes >= 64) {
    // Stores of 16 bytes on aligned addresses; the ends go through memcpy.
    const size_t head = (16 - (reinterpret_cast<uintptr_t>(dst) & 15)) & 15;
    std::memcpy(dst, src, head);
    dst += head;
    src += head;
    bytes -= head;
    for (; bytes >= 64; bytes -= 64, dst += 64, src += 64) {
      const __m128i* s = reinterpret_cast<const __m128i*>(src);
      const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
      const __m128i c = _mm_loadu_si128(s + 2), d = _mm_loadu_si128(s + 3);
      __m128i* o = reinterpret_cast<__m128i*>(dst);
      _mm_stream_si128(o, a);
      _mm_stream_si128(o + 1, b);
      _mm_stream_si128(o + 2, c);
      _mm_stream_si128(o + 3, d);
    }
  }
#else
  (void)streaming;
#endif
  std::memcpy(dst, src, bytes);
}

void StreamFence() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

bool ReplacePixels(QVRImage& img, uint64_t width, uint64_t height, unsigned bpp, size_t slack) {
  uint8_t*& pixels = ImageAccess::Pixels(img);
  delete[] pixels;
  pixels = nullptr;
  uint32_t pitch = 0, bytes = 0;
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide ||
      !ImageBytes(width, height, bpp, pitch, bytes) || bytes > SIZE_MAX - slack)
    return false;
  pixels = new (std::nothrow) uint8_t[static_cast<size_t>(bytes) + slack];
  if (pixels == nullptr) return false;
  ImageAccess::Width(img) = static_cast<uint32_t>(width);
  ImageAccess::Height(img) = static_cast<uint32_t>(height);
  ImageAccess::Bpp(img) = static_cast<uint16_t>(bpp);
  ImageAccess::Pitch(img) = pitch;
  return true;
}

QVRPal* PaletteOfSize(QVRImage& img, unsigned count) {
  QVRPal*& pal = ImageAccess::Palette(img);
  if (pal == nullptr)
    pal = new (std::nothrow) QVRPal(count);
  else
    pal->Resize(count);
  return pal;
}

StreamInput::StreamInput(QVRResFile& file) : m_file(file) {
  m_mem = dynamic_cast<QVRMemFile*>(&file);
  if (m_mem != nullptr && m_mem->Good() && m_mem->GetData() != nullptr &&
      (m_mem->GetMode() & QVRResFile::READ)) {
    const unsigned pos = m_mem->GetPos();
    const unsigned size = m_mem->GetSize();
    cur = m_mem->GetData() + (pos < size ? pos : size);
    end = m_mem->GetData() + size;
    m_atEnd = true;  // everything is already in view
    return;
  }
  m_mem = nullptr;
  m_buffer = static_cast<uint8_t*>(std::malloc(kBufferSize));
  cur = end = m_buffer;
  if (m_buffer == nullptr) m_atEnd = true;
}

StreamInput::~StreamInput() {
  Finish();
  std::free(m_buffer);
}

bool StreamInput::Refill(size_t need) {
  if (Avail() >= need) return true;
  if (m_atEnd || need > kBufferSize) return false;
  const size_t keep = Avail();
  std::memmove(m_buffer, cur, keep);
  cur = m_buffer;
  end = m_buffer + keep;
  while (static_cast<size_t>(end - cur) < need) {
    const unsigned got =
        m_file.Read(const_cast<uint8_t*>(end), static_cast<unsigned>(kBufferSize - keep));
    end += got;
    if (got == 0 || !m_file.Good()) {
      m_atEnd = true;
      break;
    }
  }
  return Avail() >= need;
}

size_t StreamInput::Read(void* dst, size_t count) {
  uint8_t* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < count) {
    if (cur == end && !Refill(1)) break;
    size_t part = Avail() < count - done ? Avail() : count - done;
    std::memcpy(out + done, cur, part);
    cur += part;
    done += part;
  }
  return done;
}

size_t StreamInput::Skip(size_t count) {
  size_t done = 0;
  while (done < count) {
    if (cur == end && !Refill(1)) break;
    size_t part = Avail() < count - done ? Avail() : count - done;
    cur += part;
    done += part;
  }
  return done;
}

void StreamInput::Finish() {
  if (m_finished) return;
  m_finished = true;
  if (m_mem != nullptr) {
    const unsigned target = static_cast<unsigned>(cur - m_mem->GetData());
    const unsigned size = m_mem->GetSize();
    if (target < size) {
      m_mem->Seek(static_cast<int>(target), QVRResFile::SEEK_FROM_START);
    } else if (size > 0 && m_mem->GetPos() < size) {
      // The end is not a seekable position: read the last byte instead, which
      // leaves the stream exactly as a read up to its end does.
      uint8_t last;
      m_mem->Seek(static_cast<int>(size - 1), QVRResFile::SEEK_FROM_START);
      m_mem->Read(&last, 1);
    }
    return;
  }
  const size_t unread = Avail();
  if (unread > 0) m_file.Seek(-static_cast<int>(unread), QVRResFile::SEEK_FROM_CURRENT);
  cur = end;
}

}  // namespace qvr::detail
