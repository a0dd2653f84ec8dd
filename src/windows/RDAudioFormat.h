#pragma once

#include "PlatformAudioFormat.h"

// The mix format of an opened endpoint: sample rate, channels, bits per
// sample, block alignment, bytes per second and the format tag (1 PCM,
// 3 float).
using RDAudioFormat = PlatformAudioFormat;
