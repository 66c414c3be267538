// QVRMixer: the software mixer on SDL's audio device. Up to 64 channels,
// each playing a QVRSound held in memory or a QVRMusic stream, are added
// together inside SDL's audio callback with per-channel volume, pan and loop
// count.
#ifndef QVR3D_MIXER_H
#define QVR3D_MIXER_H

#include <atomic>
#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/sdlmgr.h"

class QVRSound;
class QVRMusic;
struct SDL_mutex;

/// One mixer channel. Sounds and music are not owned: they must outlive the
/// channel and must not be converted, reloaded or freed while it plays them.
struct QVRMixChannel {
  QVRSound* sound;        // the sound played, or null
  QVRMusic* music;        // the music played, or null
  const uint8_t* cursor;  // next byte to mix
  uint32_t left;          // bytes left from cursor in the current buffer
  uint8_t volume;         // 0..128
  uint8_t volLeft;        // per-side volumes from volume and pan
  uint8_t volRight;
  uint8_t loop;   // plays left including the current one; 255 = forever
  uint8_t state;  // 0 free, 1 playing, 2 paused
  int8_t pan;     // -100 (left) .. 100 (right); 127 = not panned
};

/// The output format that SDL granted (the fields of SDL's audio spec that
/// the mixer keeps).
struct QVRAudioSpec {
  int freq;          // Hz
  uint16_t format;   // sample format code (QVR_AUDIO_...)
  uint8_t channels;  // 1 or 2
  uint8_t silence;   // the silence byte SDL reported
  uint16_t samples;  // buffer length in frames
  uint32_t size;     // buffer length in bytes
};

/// The process-wide mixer. Channel operations on an index past NbChannels()
/// or on a mixer that is not initialised return at once (0, false or
/// 0xFFFFFFFF as documented). Every channel operation holds the mixer's one
/// lock, which the audio callback shares.
///
///   QVRMixer* mixer = QVRMixer::Singleton();
///   if (mixer->Init(QVR_AUDIO_S16LSB, 44100, 0, true, 16)) mixer->Unpause();
///   boom.SetMixerFormat(); mixer->PlaySound(&boom, 0xFFFFFFFF, 128, 1, 127);
class QVR_API QVRMixer : public QVRSDLMgr {
 public:
  /// The mixer, created (not initialised) on the first call.
  static QVRMixer* Singleton();
  /// The mixer if one exists, else null; never creates it.
  static QVRMixer* Instance() { return m_instance; }

  /// A mixer that is not initialised; starts SDL's audio subsystem.
  QVRMixer();
  /// Runs Exit when initialised and forgets the singleton.
  ~QVRMixer() override;

  /// Opens the audio device: `format` a sample format code, `freq` held to
  /// 4000..48000 Hz, `samples` the buffer length in frames (0: a 4096-byte
  /// buffer), `stereo` two channels or one, `count` channels held to 4..64.
  /// An initialised mixer is shut down first. When SDL grants another format
  /// the device is opened again in that one. The device starts paused. The
  /// silence written is 0x80 for AUDIO_U8, 0x8000 (in the output's byte order)
  /// for the unsigned 16-bit formats, 0 for the signed ones. False
  /// when SDL's audio is not up or the device does not open (logged at ERR
  /// level: "Mixer init error: ...", "Mixer format: ...").
  bool Init(int format, int freq, int samples, bool stereo, unsigned int count);
  /// Pauses and closes the device and frees every channel.
  void Exit();

  /// Number of channels; 0 when not initialised.
  unsigned NbChannels() const { return m_nbChannels; }
  /// Number of channels playing or paused.
  unsigned ActiveChannels() const { return m_nbActive.load(std::memory_order_relaxed); }
  /// 0 not initialised, 1 playing, 2 paused.
  int Status() const { return m_status; }
  /// The granted output format (valid when initialised).
  const QVRAudioSpec& Spec() const { return m_spec; }

  /// Pauses or resumes the device (when initialised).
  void Pause();
  void Unpause();

  /// Plays `sound` on `channel` (0xFFFFFFFF: the lowest free one), replacing
  /// what the channel played. `volume` is held to 128; `loop` is the number
  /// of plays, 255 forever, 0 cued (paused until ChPause(channel, false));
  /// `pan` -100..100, 127 not panned. The bytes are played as they are, in
  /// whole output frames. Returns the channel, or 0xFFFFFFFF when not
  /// initialised, for a null sound, for a sound without a whole frame (WARN
  /// "Mixer: sound has no data\n") or when no channel is left (WARN "Mixer:
  /// no channel left\n").
  unsigned PlaySound(QVRSound* sound, unsigned int channel, unsigned char volume,
                     unsigned char loop, int pan);
  /// As PlaySound for a music stream, rewound and its first chunk fetched; a
  /// music that yields no data is refused (WARN "Mixer: music has no data\n").
  unsigned PlayMusic(QVRMusic* music, unsigned int channel, unsigned char volume,
                     unsigned char loop, int pan);

  /// Position in frames; 0xFFFFFFFF for a free channel.
  unsigned ChGetPos(unsigned int channel) const;
  /// Moves to frame `position` (held to the end); false for a free channel.
  bool ChSeek(unsigned int channel, unsigned int position);
  /// 0 free, 1 playing, 2 paused; writes volume, loop and pan through the
  /// pointers that are not null when the channel is not free.
  int ChState(unsigned int channel, int* volume, int* loop, int* pan) const;
  /// Pauses or resumes a channel that is not free.
  void ChPause(unsigned int channel, bool pause);
  /// Frees the channel.
  void ChStop(unsigned int channel);
  /// Sets the volume (held to 128); returns the previous one, 0 if free.
  unsigned char ChVolume(unsigned int channel, unsigned char volume);
  /// Sets the pan (held to -100..100, 127 not panned); returns the previous
  /// one, 0 if free, 127 at once on mono output.
  int ChPan(unsigned int channel, int pan);
  /// Sets the plays left (0 on a playing channel: stop at the end of the
  /// current play); returns the previous count, 0 if free.
  unsigned char ChLoop(unsigned int channel, unsigned char loop);
  /// Derives the side volumes of a channel from its volume and pan; called
  /// with the lock held.
  void ComputeVolumes(unsigned int channel);

  /// True when the sound's or music's (output) format, channels and rate
  /// (within the same hundred) are the mixer's; false for null.
  bool SameFormat(QVRSound* sound) const;
  bool SameFormat(QVRMusic* music) const;

  /// Logs the output format, the table's state and every busy channel at
  /// LOG level ("Mixer not initialized\n" when not initialised).
  void PrintInfo() const;

 protected:
  QVRAudioSpec m_spec;
  int m_status;

  static QVRMixer* m_instance;
  static QVRMixChannel* m_table;
  static unsigned m_nbChannels;
  static unsigned m_next;
  // Read by the callback's lock-free first test, hence atomic.
  static std::atomic<unsigned> m_nbActive;
  static std::atomic<unsigned> m_first;
  static std::atomic<unsigned> m_last;
  static SDL_mutex* m_mutex;
  static int m_clipMin;
  static int m_clipMax;
  static int m_silence;

 private:
  QVR_LOCAL bool Open(int format, int freq, int channels, int samples, bool retry);
  QVR_LOCAL bool Usable(unsigned int channel) const;
  QVR_LOCAL static void Lock();
  QVR_LOCAL static void Unlock();
  QVR_LOCAL unsigned Place(unsigned int channel, unsigned char volume, unsigned char loop, int pan);
  friend struct QVRMixerAccess;
};

#endif
