// tunebay-host tone: writes a tagged sine tone through an encoder's own ISinkFactory
// and ISinkTags, without the manager's proxies: the test signal for the other
// commands, and a host's use of the encoder interface as plug-in authors see it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_support.h"

namespace host {

namespace {

const cli::OptionDef kToneOptions[] = {
    {"seconds", '\0', 1, "S", "length in seconds (default 5)"},
    {"freq", '\0', 1, "HZ", "frequency (default 1000), below half the sample rate"},
    {"level", '\0', 1, "DBFS", "peak level in dB below full scale (default -6)"},
    {"format", '\0', 1, "R[:B[:C]]",
     "sample rate, bits per sample, channels (default 44100:16:2; a field left out\n"
     "or empty keeps the default); the tone is made in the nearest format the\n"
     "encoder writes"},
    {"title", '\0', 1, "T", "the title tag (default: none)"},
    {"artist", '\0', 1, "A", "the artist tag"},
    {"album", '\0', 1, "A", "the album tag"},
    {"genre", '\0', 1, "G", "the genre tag"},
    {"year", '\0', 1, "Y", "the year tag, 0 to 9999"},
    {"encoder", '\0', 1, "NAME",
     "the encoder, by component name or library file name (default: the first\n"
     "encoder that lists OUTPUT's extension; an extension no encoder lists is\n"
     "refused)"},
};

// An hour of the widest format is about 2.6 GB: beyond that a WAVE file cannot go.
const double kMaxSeconds = 3600;
const uint32_t kFramesPerWrite = 4096;
const double kPi = 3.14159265358979323846;

struct Options {
  std::string output;
  double seconds = 5;
  double frequency = 1000;
  double level = -6;
  tb::AudioFormat format = {44100, 16, 2};
  std::string title, artist, album, genre;
  int32_t year = 0;
  std::string encoder;
  ManagerOptions manager;
};

bool ParseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

// False after printing why (UsageError) for values that make no sense.
bool Parse(const cli::ParsedLine& line, Options& options) {
  const cli::CommandDef& def = *line.command;
  options.manager = ManagerOptionsOf(line);
  options.output = line.operands[0];
  for (const char* name : {"seconds", "freq", "level", "year"}) {
    if (!line.Has(name)) continue;
    const std::string text = line.Value(name);
    double number = 0;
    if (!ParseNumber(text, number)) {
      UsageError(def, "--%s wants a number, got '%s'", name, text.c_str());
      return false;
    }
    if (std::strcmp(name, "seconds") == 0) options.seconds = number;
    if (std::strcmp(name, "freq") == 0) options.frequency = number;
    if (std::strcmp(name, "level") == 0) options.level = number;
    if (std::strcmp(name, "year") == 0) {
      if (number < 0 || number > 9999 || number != std::floor(number)) {
        UsageError(def, "--year wants a year from 0 to 9999");
        return false;
      }
      options.year = static_cast<int32_t>(number);
    }
  }
  cli::FormatRequest format;
  if (!FormatOptionOf(line, format)) return false;
  options.format = Applied(format, options.format);
  options.title = line.Value("title");
  options.artist = line.Value("artist");
  options.album = line.Value("album");
  options.genre = line.Value("genre");
  options.encoder = line.Value("encoder");
  if (!(options.seconds > 0 && options.seconds <= kMaxSeconds)) {
    UsageError(def, "--seconds wants a length above 0 and up to %.0f", kMaxSeconds);
    return false;
  }
  if (!(options.level <= 0 && options.level >= -200)) {
    UsageError(def, "--level wants a level from -200 to 0 dBFS");
    return false;
  }
  const tb::AudioFormat& f = options.format;
  if (f.sampleRate <= 0 || f.bitsPerSample <= 0 || f.channels <= 0) {
    UsageError(def, "--format wants a rate, bits and channels above 0");
    return false;
  }
  if (!(options.frequency > 0 && options.frequency < f.sampleRate / 2.0)) {
    UsageError(def, "--freq wants a frequency above 0 and below %g Hz", f.sampleRate / 2.0);
    return false;
  }
  return true;
}

// Fills `frames` frames of the tone from frame `first` on, in `format`: integer PCM,
// 8-bit samples unsigned, wider ones signed little-endian, as WAVE files keep them.
void Synthesize(const tb::AudioFormat& format, double frequency, double amplitude, uint64_t first,
                uint32_t frames, std::vector<uint8_t>& out) {
  const int bytes = format.bitsPerSample / 8;
  const double full = std::ldexp(1.0, format.bitsPerSample - 1) - 1;
  out.resize(static_cast<size_t>(frames) * bytes * format.channels);
  uint8_t* p = out.data();
  for (uint32_t i = 0; i < frames; ++i) {
    // The phase from the frame number itself, so that no error accumulates.
    const double t = static_cast<double>(first + i) / format.sampleRate;
    const double phase = 2 * kPi * std::fmod(frequency * t, 1.0);
    long long value = std::llround(amplitude * full * std::sin(phase));
    if (bytes == 1) value += 128;
    for (int32_t c = 0; c < format.channels; ++c) {
      for (int b = 0; b < bytes; ++b) *p++ = static_cast<uint8_t>(value >> (8 * b));
    }
  }
}

int WriteTone(tb::IManager* manager, const Options& options, PendingOutput& output) {
  tb::com_ptr<tb::IComponent> encoder = FindEncoder(manager, options.encoder, output.final_path());
  if (!encoder) return 2;
  tb::com_ptr<tb::IComponentOrigin> origins =
      tb::com_ptr<tb::IManager>(manager).query<tb::IComponentOrigin>();
  const std::string encoderText = LabelOf(encoder.get(), origins.get()).Text();
  tb::com_ptr<tb::ISinkFactory> factory = encoder.query<tb::ISinkFactory>();

  tb::com_ptr<IUnknown> sink;
  tb::com_ptr<tb::IError> error;
  if (!factory->CreateFileSink(output.temp_path().c_str(), &options.format, sink.put(),
                               error.put()) ||
      !sink) {
    PrintError(manager, error.get(), ("creating " + output.final_path()).c_str());
    return 1;
  }
  tb::com_ptr<tb::ISourceControl> control = sink.query<tb::ISourceControl>();
  tb::com_ptr<tb::ISinkData> data = sink.query<tb::ISinkData>();
  tb::com_ptr<tb::ISinkTags> tags = sink.query<tb::ISinkTags>();
  if (!control || !data) {
    std::fprintf(stderr, "error: the sink of %s lacks ISourceControl or ISinkData\n",
                 encoderText.c_str());
    return 1;
  }
  // Without the manager's proxy nothing converts: the tone is made in the format the
  // encoder writes.
  tb::AudioFormat format = options.format;
  const tb::AudioFormat* own = data->GetFormat(&format);
  if (own) format = *own;
  const int bytes = format.bitsPerSample / 8;
  if (bytes < 1 || bytes > 4 || format.bitsPerSample % 8 != 0 || format.channels <= 0 ||
      format.sampleRate <= 0) {
    std::fprintf(stderr, "error: %s writes %s, which this tool cannot make a tone in\n",
                 encoderText.c_str(), FormatText(format).c_str());
    return 1;
  }
  std::string tagNote;
  if (!tags) {
    tagNote = " (not written: the encoder takes no tags)";
  } else if (!tags->SetTags(options.title.c_str(), options.artist.c_str(), options.album.c_str(),
                            options.genre.c_str(), options.year)) {
    tagNote = " (not written: the encoder refused them)";
  }
  tags.reset();

  if (!control->Start(0)) {
    std::fprintf(stderr, "error: the sink of %s did not start\n", encoderText.c_str());
    return 1;
  }
  const uint64_t total = static_cast<uint64_t>(std::llround(options.seconds * format.sampleRate));
  const double amplitude = std::pow(10.0, options.level / 20);
  std::vector<uint8_t> block;
  for (uint64_t done = 0; done < total;) {
    const uint32_t frames =
        static_cast<uint32_t>(total - done < kFramesPerWrite ? total - done : kFramesPerWrite);
    Synthesize(format, options.frequency, amplitude, done, frames, block);
    if (!data->Write(block.data(), static_cast<uint32_t>(block.size()), 0, error.put())) {
      PrintError(manager, error.get(), ("writing " + output.final_path()).c_str());
      return 1;
    }
    done += frames;
  }
  if (!control->Stop(0)) {
    std::fprintf(stderr, "error: %s could not complete %s\n", encoderText.c_str(),
                 output.final_path().c_str());
    return 1;
  }
  data.reset();
  control.reset();
  sink.reset();
  if (!output.Commit()) return 1;

  if (Quiet()) return 0;
  std::printf("Wrote %s\n", output.final_path().c_str());
  std::printf("  tone:    %g Hz at %g dBFS, %llu frames, %.3f s\n", options.frequency,
              options.level, static_cast<unsigned long long>(total),
              static_cast<double>(total) / format.sampleRate);
  std::printf("  format:  %s%s, written by %s\n", FormatText(format).c_str(),
              SameFormat(format, options.format) ? "" : " (the encoder's nearest)",
              encoderText.c_str());
  const std::string year = options.year > 0 ? std::to_string(options.year) : "none";
  std::printf("  tags:    title \"%s\", artist \"%s\", album \"%s\", genre \"%s\", year %s%s\n",
              options.title.c_str(), options.artist.c_str(), options.album.c_str(),
              options.genre.c_str(), year.c_str(), tagNote.c_str());
  return 0;
}

}  // namespace

const cli::CommandDef kToneCommand = {
    "tone",
    "writes a tagged sine tone through an encoder",
    "tone OUTPUT [--seconds S] [--freq HZ] [--level DBFS]\n"
    "     [--format R[:B[:C]]] [--title T] [--artist A]\n"
    "     [--album A] [--genre G] [--year Y] [--encoder NAME]\n"
    "     [--plugins DIR] [--keys NAME1 NAME2]",
    "Writes a sine tone, the same in every channel, into the file OUTPUT through an\n"
    "encoder, with the given tags. OUTPUT appears only once it is complete.\n",
    kToneOptions,
    sizeof kToneOptions / sizeof kToneOptions[0],
    true,
    "Exit status: 0 when OUTPUT was written, 1 on any failure, 2 for bad arguments or\n"
    "when no encoder writes OUTPUT's extension.\n",
    1,
    1};

int CommandTone(const cli::ParsedLine& line) {
  Options options;
  if (!Parse(line, options)) return 2;
  PendingOutput output;
  if (!output.Prepare(options.output)) return 1;
  return RunWithManager(options.manager, [&options, &output](tb::IManager* manager) {
    const int status = WriteTone(manager, options, output);
    output.Discard();
    return status;
  });
}

}  // namespace host
