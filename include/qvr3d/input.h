// QVRInput and QVREvent: process-wide event filtering, waiting for an event
// of one type, and the mouse state.
#ifndef QVR3D_INPUT_H
#define QVR3D_INPUT_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/sdlmgr.h"

/// One SDL 1.2 event with SDL_Event's size and layout on this platform (24
/// bytes on 64-bit systems, 20 on 32-bit ones); `type` is the SDL event type.
/// The members mirror SDL's event records, so a QVREvent may be handed to
/// code that expects an SDL_Event.
union QVREvent {
  uint8_t type;
  struct {
    uint8_t type, gain, state;
  } active;  ///< SDL_ACTIVEEVENT (1)
  struct {
    uint8_t type, which, state;
    struct {
      uint8_t scancode;
      int sym;  ///< SDLKey
      int mod;  ///< SDLMod
      uint16_t unicode;
    } keysym;
  } key;  ///< SDL_KEYDOWN (2), SDL_KEYUP (3)
  struct {
    uint8_t type, which, state;
    uint16_t x, y;
    int16_t xrel, yrel;
  } motion;  ///< SDL_MOUSEMOTION (4)
  struct {
    uint8_t type, which, button, state;
    uint16_t x, y;
  } button;  ///< SDL_MOUSEBUTTONDOWN (5), SDL_MOUSEBUTTONUP (6)
  struct {
    uint8_t type;
    int w, h;
  } resize;  ///< SDL_VIDEORESIZE (16)
  struct {
    uint8_t type;
    int code;
    void* data1;
    void* data2;
  } user;  ///< SDL_USEREVENT (24) and above
};

/// Event filtering and waiting. The event-type mask records the types this
/// object enabled (bit t for SDL type t).
///
///   QVRInput* input = QVRInput::Singleton();
///   input->SetEventTypes(1u << 2);  // key-down only
///   QVREvent ev;
///   if (input->WaitNextEvent(2, &ev)) HandleKey(ev.key.keysym.sym);
class QVR_API QVRInput : public QVRSDLMgr {
 public:
  /// Holds SDL's video subsystem (which carries the event queue); empty mask.
  QVRInput();
  /// Clears the singleton.
  ~QVRInput() override;

  /// The input object, created on first call; the caller destroys it.
  static QVRInput* Singleton();

  /// Enables SDL events of `type`. Its low byte goes to SDL when that is an
  /// SDL type (0-31) or 0xFF (every type); types 0-31 are also recorded in
  /// the mask.
  void AddEventType(unsigned type);
  /// Ignores SDL events of `type` (passed on as by AddEventType); types 0-31
  /// are also cleared from the mask.
  void RemoveEventType(unsigned type);
  /// Ignores every event type, then enables the types 1-27 whose bit is set
  /// in `mask`, and stores the mask.
  void SetEventTypes(uint32_t mask);
  /// The event-type mask.
  uint32_t GetEventTypes() const { return m_mask; }
  /// Discards every queued event.
  void Flush();
  /// The mouse position (either pointer may be null) and the buttons: bit 0
  /// left, bit 1 middle, bit 2 right.
  unsigned char GetMouseState(int* x, int* y);
  /// Blocks until an event of SDL type `type` arrives, dropping the events
  /// of other types before it, and copies it into `event` (may be null).
  /// False when SDL's wait fails.
  bool WaitNextEvent(unsigned char type, QVREvent* event);

  /// The singleton, null when none lives.
  static QVRInput* m_instance;

 private:
  uint32_t m_mask;
};

#endif
