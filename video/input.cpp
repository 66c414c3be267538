// QVRInput: event filtering and waiting, the mouse state; QVREvent's layout
// checked against SDL_Event.
#include "qvr3d/input.h"

#include <SDL.h>

#include <cstddef>
#include <cstring>

QVRInput* QVRInput::m_instance = nullptr;

// QVREvent stands for SDL_Event in the public headers, which do not include
// SDL: the whole record is copied, so size and members must agree.
static_assert(sizeof(QVREvent) == sizeof(SDL_Event), "QVREvent must be an SDL_Event");
static_assert(alignof(QVREvent) == alignof(SDL_Event), "QVREvent must align as SDL_Event");
static_assert(offsetof(QVREvent, key.keysym.sym) == offsetof(SDL_Event, key.keysym.sym), "");
static_assert(offsetof(QVREvent, key.keysym.mod) == offsetof(SDL_Event, key.keysym.mod), "");
static_assert(offsetof(QVREvent, key.keysym.unicode) == offsetof(SDL_Event, key.keysym.unicode),
              "");
static_assert(offsetof(QVREvent, motion.x) == offsetof(SDL_Event, motion.x), "");
static_assert(offsetof(QVREvent, motion.yrel) == offsetof(SDL_Event, motion.yrel), "");
static_assert(offsetof(QVREvent, button.button) == offsetof(SDL_Event, button.button), "");
static_assert(offsetof(QVREvent, button.y) == offsetof(SDL_Event, button.y), "");
static_assert(offsetof(QVREvent, resize.h) == offsetof(SDL_Event, resize.h), "");
static_assert(offsetof(QVREvent, user.data2) == offsetof(SDL_Event, user.data2), "");

QVRInput::QVRInput() : QVRSDLMgr(SDL_INIT_VIDEO), m_mask(0) {}

QVRInput::~QVRInput() {
  if (m_instance == this) m_instance = nullptr;
}

QVRInput* QVRInput::Singleton() {
  if (m_instance == nullptr) m_instance = new QVRInput();
  return m_instance;
}

namespace {

// SDL_EventState with the low byte of `type`. SDL 1.2 indexes a table of
// SDL_NUMEVENTS entries with it (0xFF meaning every type), so other bytes
// would write past that table: they are not passed on.
void SetEventState(unsigned type, int state) {
  Uint8 sdlType = Uint8(type);
  if (sdlType < SDL_NUMEVENTS || sdlType == 0xFF) SDL_EventState(sdlType, state);
}

}  // namespace

void QVRInput::AddEventType(unsigned type) {
  SetEventState(type, SDL_ENABLE);
  // The mask has 32 bits: a shift by more is undefined, so larger types are
  // passed to SDL but not recorded.
  if (type < 32) m_mask |= static_cast<uint32_t>(1) << type;
}

void QVRInput::RemoveEventType(unsigned type) {
  SetEventState(type, SDL_IGNORE);
  if (type < 32) m_mask &= ~(static_cast<uint32_t>(1) << type);
}

void QVRInput::SetEventTypes(uint32_t mask) {
  SDL_EventState(Uint8(0xFF), SDL_IGNORE);  // SDL_ALLEVENTS
  m_mask = mask;
  // Every type is also set on its own: sdl12-compat ignores SDL_ALLEVENTS,
  // and would otherwise leave the types outside the mask enabled.
  for (unsigned t = 1; t < SDL_NUMEVENTS; ++t)
    SDL_EventState(Uint8(t), t <= 27 && ((mask >> t) & 1u) ? SDL_ENABLE : SDL_IGNORE);
}

void QVRInput::Flush() {
  SDL_Event e;
  while (SDL_PollEvent(&e) != 0) {
  }
}

unsigned char QVRInput::GetMouseState(int* x, int* y) {
  return static_cast<unsigned char>(SDL_GetMouseState(x, y) & 7u);
}

bool QVRInput::WaitNextEvent(unsigned char type, QVREvent* event) {
  SDL_Event e;
  for (;;) {
    if (SDL_WaitEvent(&e) == 0) return false;
    if (e.type == type) break;
  }
  if (event != nullptr) std::memcpy(event, &e, sizeof e);
  return true;
}
