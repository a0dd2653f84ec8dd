#pragma once

// The sample layout of an opened sound stream, in the terms the audio code
// uses: rate, channels, bits per sample, bytes per sample frame, bytes per
// second and the sample kind (1 integer PCM, 3 IEEE float).
struct PlatformAudioFormat {
    enum Tag { Pcm = 1, Float = 3 };

    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;
    int bytesPerSecond = 0;
    int formatTag = 0;

    static PlatformAudioFormat make(int rate, int channels, int bits, int tag)
    {
        PlatformAudioFormat f;
        f.sampleRate = rate;
        f.channels = channels;
        f.bitsPerSample = bits;
        f.blockAlign = channels * bits / 8;
        f.bytesPerSecond = f.blockAlign * rate;
        f.formatTag = tag;
        return f;
    }
};
