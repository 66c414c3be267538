// Reference-counted SDL start-up and shutdown.
#include "qvr3d/sdlmgr.h"

#include <SDL.h>

#include <cstdlib>

#include "qvr3d/core.h"

uint32_t QVRSDLMgr::m_instances = 0;
uint32_t QVRSDLMgr::m_sdlstate = 0;

QVRSDLMgr::QVRSDLMgr(unsigned int flags) {
  if (m_sdlstate == 0) {
    // Video is always part of the first start-up: SDL 1.2 sets up its event
    // queue with it, and every later subsystem expects that.
    if (SDL_Init(flags | SDL_INIT_VIDEO) < 0) {
      QVR::ERR("Can't initialize SDL (%s)\n", SDL_GetError());
      std::exit(1);
    }
    SDL_EnableUNICODE(1);
    m_sdlstate |= flags;
  } else if ((flags & ~m_sdlstate) != 0) {
    if (SDL_InitSubSystem(flags & ~m_sdlstate) == 0) {
      m_sdlstate |= flags;
    } else {
      QVR::ERR("Can't initialize SDL subsystem (%s)\n", SDL_GetError());
    }
  }
  ++m_instances;
}

QVRSDLMgr::~QVRSDLMgr() {
  if (m_instances == 0) {
    QVR::LOGL(1, "Error :\n%s\n", "SDLMgr: instance == 0");
    std::exit(1);
  }
  if (--m_instances == 0) {
    SDL_Quit();
    m_sdlstate = 0;
  }
}
