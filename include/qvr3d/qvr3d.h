// Umbrella header: everything a game needs from QVR3d.
#ifndef QVR3D_QVR3D_H
#define QVR3D_QVR3D_H

#include "qvr3d/archive.h"
#include "qvr3d/config.h"
#include "qvr3d/core.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/font.h"
#include "qvr3d/glfont.h"
#include "qvr3d/image.h"
#include "qvr3d/input.h"
#include "qvr3d/mixer.h"
#include "qvr3d/music.h"
#include "qvr3d/pal.h"
#include "qvr3d/parse.h"
#include "qvr3d/q3dscreen.h"
#include "qvr3d/resmgr.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/resource.h"
#include "qvr3d/score.h"
#include "qvr3d/screen.h"
#include "qvr3d/sdlmgr.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"
#include "qvr3d/texmgr.h"
#include "qvr3d/text.h"
#include "qvr3d/timer.h"
#include "qvr3d/translator.h"
#include "qvr3d/videomode.h"

#endif
