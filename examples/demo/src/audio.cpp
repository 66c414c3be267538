// Sound: QVRMixer mixes the effects on their own channels, each panned to
// where the ball is, and streams the tune with QVRMusic on channel 0.
#include "demo.h"

namespace demo {

namespace {
const char* const kSfxNames[SFX_COUNT] = {"sfx/bounce.wav", "sfx/brick.wav", "sfx/lose.wav",
                                          "sfx/level.wav"};
// 1024 frames at 22050 Hz: a 46 ms buffer (the headless run paces SDL's disk
// driver to it).
const int kRate = 22050;
const int kSamples = 1024;
}  // namespace

bool Audio::Open(Assets& assets, const Settings& s) {
  m_volume = s.sfxVolume;
  m_mixer = QVRMixer::Singleton();
  // 16-bit stereo; 16 channels. The device starts paused.
  if (!m_mixer->Init(QVR_AUDIO_S16LSB, kRate, kSamples, true, 16)) {
    QVR::WARN("demo: no sound (the mixer did not open)\n");
    return false;
  }
  for (int i = 0; i < SFX_COUNT; ++i) {
    m_sfx[i] = static_cast<QVRSound*>(assets.Load(QVRResMgr::RES_SOUND, kSfxNames[i]));
    // Converted once, in place, to the mixer's format: mixing then only adds.
    if (m_sfx[i]) m_sfx[i]->SetMixerFormat();
  }
  // The tune is 8-bit mono: each chunk is converted to 16-bit stereo while
  // it streams. 255 plays it forever.
  m_music = static_cast<QVRMusic*>(assets.Load(QVRResMgr::RES_MUSIC, "music/theme.wav"));
  if (m_music) {
    m_music->SetMixerFormat();
    m_mixer->PlayMusic(m_music, 0, static_cast<unsigned char>(s.musicVolume), 255, 127);
  }
  m_mixer->Unpause();
  return true;
}

void Audio::Play(SfxId id, int x) {
  if (!m_mixer || m_mixer->Status() == 0 || !m_sfx[id]) return;
  // Pan -100 (left) .. 100 (right) from the column; the lowest free channel.
  const int pan = (x < 0 ? 0 : (x > 639 ? 639 : x)) * 200 / 639 - 100;
  m_mixer->PlaySound(m_sfx[id], 0xFFFFFFFF, static_cast<unsigned char>(m_volume), 1, pan);
}

void Audio::Close() {
  if (!m_mixer) return;
  m_mixer->Exit();  // the channels stop using the sounds and the music here
  delete m_mixer;
  m_mixer = nullptr;
}

}  // namespace demo
