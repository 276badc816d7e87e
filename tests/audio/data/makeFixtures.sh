#!/bin/sh
# Makes the WAV files that the decoder tests read, and sox's own decode of the IMA ADPCM ones
# (16-bit little-endian raw samples) that the decoder must match sample for sample. Run once by
# hand; the files are committed, so the tests need neither sox nor ffmpeg.
set -eu
cd "$(dirname "$0")"

# A short rising tone with a little noise, so that every sample differs from its neighbours.
tone="synth 0.05 sine 300-2400 synth 0.05 brownnoise mix"

sox -n -r 8000 -c 1 -b 8 -e unsigned-integer pcm8Mono.wav $tone
sox -n -r 8000 -c 2 -b 8 -e unsigned-integer pcm8Stereo.wav $tone
sox -n -r 11025 -c 1 -b 16 -e signed-integer pcm16Mono.wav $tone
sox -n -r 11025 -c 2 -b 16 -e signed-integer pcm16Stereo.wav $tone

# IMA ADPCM in blocks: sox for mono, ffmpeg for stereo.
sox -n -r 11025 -c 1 -e ima-adpcm imaMono.wav $tone
sox -n -r 11025 -c 2 -b 16 -e signed-integer toneStereo.tmp.wav $tone
ffmpeg -loglevel error -y -i toneStereo.tmp.wav -c:a adpcm_ima_wav imaStereo.wav
rm -f toneStereo.tmp.wav
sox imaMono.wav -t raw -e signed-integer -b 16 -L imaMono.raw
sox imaStereo.wav -t raw -e signed-integer -b 16 -L imaStereo.raw

# ffmpeg writes a LIST chunk before "data"; written to a pipe it cannot go back to fill in the
# sizes and leaves them at 0xFFFFFFFF.
ffmpeg -loglevel error -y -i pcm16Mono.wav -c:a pcm_s16le listBeforeData.wav
ffmpeg -loglevel error -i pcm16Mono.wav -c:a pcm_s16le -f wav - > pipedSizes.wav
