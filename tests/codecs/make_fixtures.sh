#!/usr/bin/env bash
# Makes the codec tests' files with the reference tools of each format, and the
# reference tools' own decodings of them, into the folder given:
#   <name>            the encoded file the plug-in decodes
#   <name>.ref.wav    what the format's reference decoder makes of it
# plus damaged copies. The tests (running under Wine) compare against these.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"

for tool in sox flac lame mpg123 oggenc oggdec; do
  command -v "$tool" >/dev/null || {
    echo "make_fixtures: $tool is missing; run scripts/install-deps.sh" >&2
    exit 1
  }
done

# Spoils `count` bytes in the middle of a copy of a file.
spoil() {
  local from=$1 to=$2 size
  cp "$from" "$to"
  size=$(stat -c %s "$to")
  head -c 64 /dev/zero | tr '\0' '\245' | dd of="$to" bs=1 seek=$((size / 2)) conv=notrunc status=none
}

# Sources: CD audio with two tones; 24-bit at 48 kHz; mono at 22.05 kHz (MPEG-2 for MP3).
sox -R -n -b 16 -r 44100 -c 2 s16.wav synth 5 sine 440 sine 660 gain -3
sox -R -n -b 24 -r 48000 -c 2 s24.wav synth 3 sine 1000 sine 100 gain -2
sox -R -n -b 16 -r 22050 -c 1 m22.wav synth 2 sine 500 gain -3

# FLAC, native and in Ogg, with tags and a cue sheet (track 2 at 2 s, after a pause).
flac -s -f -T "TITLE=Flac Title" -T "ARTIST=Flac Artist" -T "ALBUM=Flac Album" \
  -T "GENRE=Ambient" -T "DATE=2019-04-01" -o s16.flac s16.wav
flac -s -f -o s24.flac s24.wav
flac -s -f --ogg -T "TITLE=Ogg Flac Title" -o s16.oga s16.wav
printf 'FILE "s16.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:02:00\n' >cue.cue
flac -s -f --cuesheet=cue.cue -o cue.flac s16.wav
# A stream written to a pipe: its STREAMINFO leaves the length (and MD5) open.
sox s16.wav -t raw - | flac -s --force-raw-format --endian=little --sign=signed --channels=2 \
  --bps=16 --sample-rate=44100 -c - >nolen.flac
for f in s16.flac s24.flac cue.flac nolen.flac; do flac -s -f -d -o "$f.ref.wav" "$f"; done
flac -s -f -d --ogg -o s16.oga.ref.wav s16.oga
spoil s16.flac bad.flac
head -c 30 s16.flac >short.flac

# MP3 (gapless through the LAME header), ID3v2 and ID3v1 tags.
lame --quiet -b 128 --tt "Mp3 Title" --ta "Mp3 Artist" --tl "Mp3 Album" --tg Rock --ty 2018 \
  s16.wav s16.mp3
lame --quiet -b 64 --id3v1-only --tt "V1 Title" --ta "V1 Artist" m22.wav m22.mp3
# Without the LAME/Xing frame (nothing to trim, the length only by counting frames),
# and MPEG 2.5 at 8 kHz.
lame --quiet -t -b 128 s16.wav noxing.mp3
sox -R -n -b 16 -r 8000 -c 1 m8.wav synth 2 sine 300 gain -3
lame --quiet -b 16 m8.wav m8.mp3
# Free format: the frames' bitrate (here 400 kbit/s) is in no header.
lame --quiet --freeformat -b 400 s16.wav ff.mp3
for f in s16.mp3 m22.mp3 noxing.mp3 m8.mp3 ff.mp3; do mpg123 -q -w "$f.ref.wav" "$f"; done

# Ogg Vorbis with comments.
oggenc -Q -q 4 -t "Ogg Title" -a "Ogg Artist" -l "Ogg Album" -G Jazz -d 2017 -o s16.ogg s16.wav
# Mono. (Not 5.1: oggdec's WAVE output puts those channels in an order of its own.)
oggenc -Q -q 2 -o m22.ogg m22.wav
for f in s16.ogg m22.ogg; do oggdec -Q -o "$f.ref.wav" "$f"; done
spoil s16.ogg bad.ogg

# Floating-point WAVE, and sox's own 24-bit rendering of it (no dither).
sox s16.wav -e floating-point -b 32 f32.wav
sox s24.wav -e floating-point -b 64 f64.wav
sox f32.wav -D -b 24 f32.wav.ref.wav
sox f64.wav -D -b 24 f64.wav.ref.wav
