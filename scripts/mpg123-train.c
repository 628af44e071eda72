/* The training run of libmpg123's profile-guided build (scripts/build-codecs.sh): decodes
   each MP3 named on the command line to floats at its own rate, as the MP3 plug-in asks
   for them, after the same frame count the plug-in takes, then seeks to the middle and
   decodes to the end again. The samples are dropped. */
#include <stdio.h>

#include "mpg123.h"

static int Decode(const char* path) {
  int err = MPG123_OK;
  mpg123_handle* h = mpg123_new(NULL, &err);
  if (!h) return 1;
  mpg123_param(h, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
  mpg123_format_none(h);
  const long* rates = NULL;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i) {
    mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
  }
  int ok = mpg123_open(h, path) == MPG123_OK && mpg123_scan(h) == MPG123_OK;
  for (int pass = 0; ok && pass < 2; ++pass) {
    if (pass == 1 && mpg123_seek(h, mpg123_length(h) / 2, SEEK_SET) < 0) ok = 0;
    for (;;) {
      off_t number = 0;
      unsigned char* audio = NULL;
      size_t bytes = 0;
      const int r = mpg123_decode_frame(h, &number, &audio, &bytes);
      if (r == MPG123_NEW_FORMAT) continue;
      if (r != MPG123_OK) {
        ok = ok && r == MPG123_DONE;
        break;
      }
    }
  }
  if (!ok) fprintf(stderr, "mpg123-train: %s: %s\n", path, mpg123_strerror(h));
  mpg123_close(h);
  mpg123_delete(h);
  return ok ? 0 : 1;
}

int main(int argc, char** argv) {
  int failed = 0;
  for (int i = 1; i < argc; ++i) failed |= Decode(argv[i]);
  return failed;
}
