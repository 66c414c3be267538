// Sound: QVRMixer mixes the effects on their own channels, each panned to
// where the ball is, and streams the tune with QVRMusic on channel 0.
#include <SDL/SDL.h>

#include "demo.h"

namespace demo {

namespace {
const char* const kSfxNames[SFX_COUNT] = {"sfx/bounce.wav", "sfx/brick.wav", "sfx/lose.wav",
                                          "sfx/level.wav"};
const int kRate = 22050;
const int kSamples = 1024;  // frames per buffer: 46 ms
}  // namespace

bool Audio::Open(Assets& assets, const Settings& s, bool follow) {
  m_volume = s.sfxVolume;
  // The data first, so that the device, once open, is not kept waiting.
  for (int i = 0; i < SFX_COUNT; ++i)
    m_sfx[i] = static_cast<QVRSound*>(assets.Load(QVRResMgr::RES_SOUND, kSfxNames[i]));
  m_music = static_cast<QVRMusic*>(assets.Load(QVRResMgr::RES_MUSIC, "music/theme.wav"));

  m_mixer = QVRMixer::Singleton();
  // 16-bit stereo at 22050 Hz, 16 channels. The device starts paused.
  if (!m_mixer->Init(QVR_AUDIO_S16LSB, kRate, kSamples, true, 16)) {
    QVR::WARN("demo: no sound (the mixer did not open)\n");
    return false;
  }
  if (follow) {
    // SDL's audio lock stops the mixing thread before its next buffer; Follow
    // lets it run exactly as far as the game has come.
    SDL_LockAudio();
    m_locked = true;
  }
  for (QVRSound* sfx : m_sfx)
    // Converted once, in place, to the mixer's format: mixing then only adds.
    if (sfx) sfx->SetMixerFormat();
  // The tune is 8-bit mono: each chunk is converted to 16-bit stereo while
  // it streams. 255 plays it forever.
  if (m_music) {
    m_music->SetMixerFormat();
    m_mixer->PlayMusic(m_music, 0, static_cast<unsigned char>(s.musicVolume), 255, 127);
  }
  m_mixer->Unpause();
  return true;
}

void Audio::Follow(int frame, const char* file) {
  if (!m_locked) return;
  // The disk driver appends each buffer to `file` (16-bit stereo): its size
  // is the sound made so far. Let the thread through one buffer at a time
  // until the sound covers `frame` frames of game time at 60 per second.
  const unsigned long long want = static_cast<unsigned long long>(frame) * kRate / 60 * 4;
  for (;;) {
    const unsigned size = QVRFileUtils::FileSize(file);
    if (size == 0xFFFFFFFFu || size >= want) return;
    SDL_UnlockAudio();
    // The thread mixes and writes a buffer, then sleeps (SDL_DISKAUDIODELAY):
    // the lock is taken back during that sleep, before it mixes the next.
    const Uint32 start = SDL_GetTicks();
    while (QVRFileUtils::FileSize(file) == size) {
      if (SDL_GetTicks() - start > 2000) {
        QVR::WARN("demo: the sound stopped; the game goes on without waiting for it\n");
        m_locked = false;
        return;
      }
      SDL_Delay(0);
    }
    SDL_LockAudio();
  }
}

void Audio::Play(SfxId id, int x) {
  if (!m_mixer || m_mixer->Status() == 0 || !m_sfx[id]) return;
  // Pan -100 (left) .. 100 (right) from the column; the lowest free channel.
  const int pan = (x < 0 ? 0 : (x > 639 ? 639 : x)) * 200 / 639 - 100;
  m_mixer->PlaySound(m_sfx[id], 0xFFFFFFFF, static_cast<unsigned char>(m_volume), 1, pan);
}

void Audio::Close() {
  if (m_locked) SDL_UnlockAudio();  // closing waits for the mixing thread
  m_locked = false;
  if (!m_mixer) return;
  m_mixer->Exit();  // the channels stop using the sounds and the music here
  delete m_mixer;
  m_mixer = nullptr;
}

}  // namespace demo
