// QVRVideoMode: display capabilities and the sorted lists of video modes.
#include "qvr3d/videomode.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <new>

QVRVideoMode::QVRVideoMode() : QVRSDLMgr(SDL_INIT_VIDEO) {}

QVRVideoMode::~QVRVideoMode() = default;

const SDL_VideoInfo* QVRVideoMode::VideoInfo() const { return SDL_GetVideoInfo(); }

int QVRVideoMode::GetModes(VideoMode** list, unsigned flags, unsigned bpp) {
  if (list != nullptr) *list = nullptr;
  SDL_PixelFormat format;
  std::memset(&format, 0, sizeof format);
  format.BitsPerPixel = Uint8(bpp);
  SDL_Rect** modes = SDL_ListModes(&format, flags);
  if (modes == nullptr) return 0;
  if (modes == reinterpret_cast<SDL_Rect**>(-1)) return -1;
  int count = 0;
  while (modes[count] != nullptr) ++count;
  if (count == 0 || list == nullptr) return count;
  VideoMode* out = new (std::nothrow) VideoMode[static_cast<size_t>(count)];
  if (out == nullptr) return 0;
  for (int i = 0; i < count; ++i) out[i] = VideoMode{modes[i]->w, modes[i]->h, bpp};
  *list = out;
  return count;
}

int QVRVideoMode::QueryModes(VideoMode** list, unsigned flags, unsigned bpp) {
  flags |= SDL_FULLSCREEN | SDL_HWSURFACE;
  if (bpp != 0) return GetModes(list, flags, bpp);
  static const unsigned kDepths[4] = {8, 16, 24, 32};
  VideoMode* parts[4] = {nullptr, nullptr, nullptr, nullptr};
  int counts[4] = {0, 0, 0, 0};
  int total = 0;
  bool anySize = false;
  for (int d = 0; d < 4; ++d) {
    counts[d] = GetModes(&parts[d], flags, kDepths[d]);
    if (counts[d] < 0)
      anySize = true;
    else
      total += counts[d];
  }
  VideoMode* all = nullptr;
  if (!anySize && total > 0) {
    all = new (std::nothrow) VideoMode[static_cast<size_t>(total)];
    if (all != nullptr) {
      VideoMode* at = all;
      for (int d = 0; d < 4; ++d)
        if (parts[d] != nullptr) at = std::copy(parts[d], parts[d] + counts[d], at);
      std::sort(all, all + total, [](const VideoMode& a, const VideoMode& b) {
        if (a.width != b.width) return a.width > b.width;
        if (a.height != b.height) return a.height > b.height;
        return a.bpp > b.bpp;
      });
    } else {
      total = 0;
    }
  }
  for (VideoMode* part : parts) delete[] part;
  if (anySize) return -1;
  if (list != nullptr)
    *list = all;
  else
    delete[] all;
  return total;
}
