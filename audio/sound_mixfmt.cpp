// QVRSound::SetMixerFormat: conversion to the output format of the open
// mixer, kept apart from the sound readers so that only this file needs the
// mixer.
#include "qvr3d/mixer.h"
#include "qvr3d/sound.h"

void QVRSound::SetMixerFormat() {
  QVRMixer* mixer = QVRMixer::Instance();
  if (m_format == 0 || !mixer || mixer->Status() == 0) return;
  const QVRAudioSpec& spec = mixer->Spec();
  if (m_format == spec.format && m_freq == spec.freq && m_channels == spec.channels) return;
  ChangeFormat(spec.format, spec.freq, spec.channels);
}
