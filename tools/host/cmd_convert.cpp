// tunebay-host convert: the host's main job. Opens a file or URL through the manager,
// wrapped in the source proxy that delivers the wanted format, has an encoder make a
// file sink that the manager wraps in its sink proxy, and streams the audio from one
// proxy to the other.
//
// The conversion happens on the source side: the source proxy delivers the wanted
// format and the sink is made for that same format, so the sink proxy converts only
// when the encoder cannot write that format exactly. The tags travel with the audio as
// the file carries them; the artist/title rule's texts, which may be guessed from the
// file name, only when asked for.
#include <cstdio>
#include <string>
#include <vector>

#include "decoder_plan.h"
#include "host_support.h"
#include "plugin_report.h"

namespace host {

namespace {

// The options of both forms of convert: one file, and several into a folder
// (cmd_convert_batch.cpp).
const cli::OptionDef kConvertOptions[] = {
    {"format", '\0', 1, "R[:B[:C]]",
     "the output's sample rate, bits per sample and channels; a field left out or\n"
     "empty keeps the input's (48000, 48000:24, ::1; default: the input's own)"},
    {"encoder", '\0', 1, "NAME",
     "the encoder to write with, by component name or library file name (default:\n"
     "the first encoder that lists OUTPUT's extension; an extension no encoder lists\n"
     "is refused)"},
    {"level", '\0', 1, "N",
     "the encoder's compression level, for an encoder that has them (FLAC: 0 fastest\n"
     "to 8 smallest, 5 when not given)"},
    {"no-dither", '\0', 0, nullptr,
     "round when the output has fewer bits per sample than the input, instead of\n"
     "adding the convertor's dither"},
    {"tags-from-name", '\0', 0, nullptr,
     "title and artist as the artist/title setting gives them, which may guess them\n"
     "from the file name"},
    {"no-tags", '\0', 0, nullptr, "copy no tags"},
    {"y", '\0', 0, nullptr, "overwrite an output that exists"},
    {"n", '\0', 0, nullptr, "never overwrite: an output that exists is skipped"},
    {"progress", '\0', 0, nullptr,
     "show the progress line also when the error stream is not a console (a line a\n"
     "second); -q hides it"},
    {"out-dir", '\0', 1, "DIR", "several inputs: where the outputs go (made when missing)"},
    {"to", '\0', 1, "flac|wav", "several inputs: the output format, by extension (default: wav)"},
    {"cd", '\0', 0, nullptr, "several inputs: CD audio, --format 44100:16:2"},
};

// Exit statuses beyond 0, 1 and 2 (host.h's).
const int kExitShortInput = 3;

// Large enough for the proxy's converting read: it asks the source for a block that,
// converted, fits the caller's buffer less a small margin.
const uint32_t kBlockSize = 64 * 1024;

struct Options {
  cli::FormatRequest format;
  bool noDither = false;
  bool overwrite = false;      // -y
  bool keepExisting = false;   // -n
  bool forceProgress = false;  // --progress
  std::string input;
  std::string output;
  std::string encoder;
  int32_t level = -1;  // the encoder's own unless given
  enum class Tags { kOwn, kFromName, kNone } tags = Tags::kOwn;
  ManagerOptions manager;
};

// False after printing why (UsageError) for a line that makes no sense.
bool Parse(const cli::ParsedLine& line, Options& options) {
  const cli::CommandDef& def = *line.command;
  if (line.operands.size() != 2) {
    UsageError(def, "convert needs an INPUT and an OUTPUT (or --out-dir DIR for several inputs)");
    return false;
  }
  options.input = line.operands[0];
  options.output = line.operands[1];
  options.manager = ManagerOptionsOf(line);
  if (!FormatOptionOf(line, options.format)) return false;
  options.noDither = line.Has("no-dither");
  options.encoder = line.Value("encoder");
  if (line.Has("level")) {
    const std::string text = line.Value("level");
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != text.npos) {
      UsageError(def, "--level takes a whole number, not '%s'", text.c_str());
      return false;
    }
    options.level = std::stoi(text);
  }
  options.overwrite = line.Has("y");
  options.keepExisting = line.Has("n");
  options.forceProgress = line.Has("progress");
  if (options.overwrite && options.keepExisting) {
    UsageError(def, "-y and -n exclude each other");
    return false;
  }
  if (line.Has("tags-from-name") && line.Has("no-tags")) {
    UsageError(def, "--tags-from-name and --no-tags exclude each other");
    return false;
  }
  if (line.Has("tags-from-name")) options.tags = Options::Tags::kFromName;
  if (line.Has("no-tags")) options.tags = Options::Tags::kNone;
  return true;
}

// The host's side of IManager::CreateSink: asks the chosen encoder for a sink that
// writes the output file, and remembers what the encoder said, so that a failure can
// be reported in the encoder's own words.
class FileSinkCreator final : public tb::ISinkCreator {
 public:
  FileSinkCreator(tb::ISinkFactory* factory, std::string path)
      : factory_(factory), path_(std::move(path)) {}

  void TB_STDCALL Unused0() noexcept override {}
  void TB_STDCALL Unused1() noexcept override {}

  bool TB_STDCALL CreateSinkObject(IUnknown** sink, const tb::AudioFormat* format,
                                   int32_t) noexcept override {
    error_.reset();
    if (!sink || !format) return false;
    if (!factory_->CreateFileSink(path_.c_str(), format, sink, error_.put())) return false;
    // The encoder writes the nearest format it can; the sink proxy converts the rest.
    tb::com_ptr<tb::ISinkData> data = tb::com_ptr<IUnknown>(*sink).query<tb::ISinkData>();
    tb::AudioFormat own = *format;
    if (data) {
      const tb::AudioFormat* answered = data->GetFormat(&own);
      if (answered) own = *answered;
    }
    sinkFormat_ = own;
    return true;
  }

  tb::IError* error() const { return error_.get(); }
  const tb::AudioFormat& sink_format() const { return sinkFormat_; }

 private:
  tb::ISinkFactory* factory_;
  std::string path_;
  tb::com_ptr<tb::IError> error_;
  tb::AudioFormat sinkFormat_ = {0, 0, 0};
};

// The progress line: on a console redrawn in place a few times a second; forced onto
// another error stream (a log), a line a second. Nothing otherwise, or with -q: logs
// get the summary only.
class Progress {
 public:
  Progress(uint64_t total, int32_t rate, bool forced)
      : total_(total), rate_(rate), started_(Now()) {
    DWORD mode = 0;
    console_ = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    enabled_ = !Quiet() && (console_ || forced);
  }

  void Update(uint64_t frames) {
    if (!enabled_) return;
    const double now = Now();
    if (now - last_ < (console_ ? 0.1 : 1.0)) return;
    last_ = now;
    Draw(frames, now);
  }

  void Done(uint64_t frames) {
    if (!enabled_) return;
    Draw(frames, Now());
    if (console_) PrintErr("\n");
  }

  // Before an error is printed: the message starts on a line of its own.
  void Break() {
    if (enabled_ && console_ && drawn_) PrintErr("\n");
    drawn_ = false;
  }

 private:
  void Draw(uint64_t frames, double now) {
    std::string line = cli::ProgressLine(frames, total_, rate_, now - started_);
    if (console_) {
      // Spaces over what a longer line before left.
      const size_t shown = line.size();
      if (shown < width_) line.append(width_ - shown, ' ');
      width_ = shown;
      PrintErr("\r%s", line.c_str());
    } else {
      PrintErr("%s\n", line.c_str());
    }
    drawn_ = true;
    std::fflush(stderr);
  }

  bool enabled_ = false;
  bool console_ = false;
  bool drawn_ = false;
  uint64_t total_;
  int32_t rate_;
  double started_;
  double last_ = 0;
  size_t width_ = 0;
};

// Ctrl+C, Ctrl+Break or closing the console ends the job at the next block, so that the
// partial output is removed and the plug-ins are let go in order rather than the
// process being killed.
volatile LONG g_interrupted = 0;
// Set once the partial output is gone.
HANDLE g_outputGone = nullptr;

BOOL WINAPI OnConsoleBreak(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  InterlockedExchange(&g_interrupted, 1);
  // A closed console ends the process as soon as this returns (Windows waits about five
  // seconds at most): wait here for the job to remove the partial output.
  if (event == CTRL_CLOSE_EVENT && g_outputGone) WaitForSingleObject(g_outputGone, 4000);
  return TRUE;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string Text(const char* text) { return text ? text : ""; }

struct TagSet {
  bool present = false;
  std::string title, artist, album, genre;
  int32_t year = 0;

  bool any() const {
    return present &&
           (!title.empty() || !artist.empty() || !album.empty() || !genre.empty() || year > 0);
  }
  std::string Describe() const {
    if (!present) return "none (the source has no tag information)";
    if (!any()) return "none (the source carries no tags)";
    return "title " + Quoted(title) + ", artist " + Quoted(artist) + ", album " + Quoted(album) +
           ", genre " + Quoted(genre) + ", year " + (year > 0 ? std::to_string(year) : "none");
  }
};

// Each text is copied at once: the next call may replace it.
TagSet ReadTags(IUnknown* source) {
  TagSet tags;
  tb::com_ptr<tb::ITagInfo> info = tb::com_ptr<IUnknown>(source).query<tb::ITagInfo>();
  if (!info) return tags;
  tags.present = true;
  tags.title = Text(info->GetTitle());
  tags.artist = Text(info->GetArtist());
  tags.album = Text(info->GetAlbum());
  tags.genre = Text(info->GetGenre());
  tags.year = info->GetYear();
  return tags;
}

// The tags the file itself carries, before the artist/title rule: the file (for a URL,
// the downloader's copy) opened once more without the proxy, whose texts are the rule's.
TagSet ReadOwnTags(tb::IManager* manager, IUnknown* proxy) {
  const std::string path = FilePathOf(proxy);
  IUnknown* raw = nullptr;
  if (path.empty() || !manager->OpenSource(path.c_str(), nullptr, &raw, -1, 0, 0, nullptr)) {
    if (raw) raw->Release();
    return TagSet();
  }
  return ReadTags(tb::com_ptr<IUnknown>::adopt(raw).get());
}

// What the summary reports, gathered along the way.
struct Report {
  std::string input;
  std::string output;
  std::string decoder;
  std::string encoder;
  tb::AudioFormat own = {0, 0, 0};
  tb::AudioFormat delivered = {0, 0, 0};
  tb::AudioFormat written = {0, 0, 0};
  std::string convertor;
  std::string tags;
  uint64_t frames = 0;
  uint64_t reported = 0;
  uint64_t bytes = 0;
  double openSeconds = 0;
  double totalSeconds = 0;
};

void PrintSummary(const Report& r) {
  PrintOut("Converted %s\n       to %s\n", r.input.c_str(), r.output.c_str());
  PrintOut("  decoder:   %s\n", r.decoder.c_str());
  PrintOut("  source:    %s\n", FormatText(r.own).c_str());
  PrintOut("  output:    %s, written by %s\n", FormatText(r.written).c_str(), r.encoder.c_str());
  PrintOut("  convertor: %s\n", r.convertor.c_str());
  PrintOut("  tags:      %s\n", r.tags.c_str());
  const double seconds =
      r.delivered.sampleRate > 0 ? static_cast<double>(r.frames) / r.delivered.sampleRate : 0;
  PrintOut("  audio:     %llu frames, %.3f s, %llu bytes",
           static_cast<unsigned long long>(r.frames), seconds,
           static_cast<unsigned long long>(r.bytes));
  if (r.reported != r.frames) {
    PrintOut(" (the source announced %llu frames)", static_cast<unsigned long long>(r.reported));
  }
  PrintOut("\n  time:      %.3f s (opening %.3f s), %.1f times real time\n", r.totalSeconds,
           r.openSeconds, r.totalSeconds > 0 ? seconds / r.totalSeconds : 0.0);
}

// Which convertor did the work, and where.
std::string ConvertorLine(tb::IManager* manager, const Report& r) {
  const bool sourceSide = !SameFormat(r.own, r.delivered);
  const bool sinkSide = !SameFormat(r.delivered, r.written);
  if (!sourceSide && !sinkSide) return "none (no conversion needed)";
  std::string line = ManagerConvertor(manager).Text();
  if (sourceSide) {
    line += ", in the source proxy: " + FormatShort(r.own) + " -> " + FormatShort(r.delivered);
  }
  if (sinkSide) {
    line += std::string(sourceSide ? ";" : ",") +
            " in the sink proxy: " + FormatShort(r.delivered) + " -> " + FormatShort(r.written);
  }
  return line;
}

// Opens the input wrapped in the source proxy. False after printing why.
bool OpenInput(tb::IManager* manager, const Options& options, const std::string& name,
               tb::com_ptr<IUnknown>& source) {
  tb::com_ptr<tb::IError> error;
  if (OpenWithFormat(manager, name, options.format, source, error)) return true;
  if (source) {
    PrintErr("error: %s opened, but the manager could not wrap it in its proxy\n", name.c_str());
    source.reset();
  } else {
    PrintError(manager, error.get(), ("opening " + name).c_str());
    PrintDecoderAttempts(manager);
    ExplainUrlFailure(manager, name);
    if (options.format.Any() && error && error->GetCode() == tb::result::InvalidParameter) {
      PrintErr(
          "note: a format needs at least 8 bits, one channel and a sample "
          "rate above 0\n");
    }
  }
  return false;
}

// Everything between opening the input and completing the output file. Each reference
// lives in this function only, so all of them are gone before the caller finishes the
// manager.
int Convert(tb::IManager* manager, const Options& options, PendingOutput& output) {
  const double started = Now();
  Report report;
  report.input = SourceNameOf(options.input);
  report.output = output.final_path();

  tb::com_ptr<tb::IComponent> encoder = FindEncoder(manager, options.encoder, output.final_path());
  if (!encoder) return 2;
  tb::com_ptr<tb::ISinkFactory> factory = encoder.query<tb::ISinkFactory>();
  {
    tb::com_ptr<tb::IComponentOrigin> origins =
        tb::com_ptr<tb::IManager>(manager).query<tb::IComponentOrigin>();
    report.encoder = LabelOf(encoder.get(), origins.get()).Text();
  }

  if (options.noDither) {
    // A setting of the convertor itself: it holds for the conversions of both proxies.
    tb::com_ptr<tb::IConvertor> convertor;
    tb::com_ptr<tb::IConvertorSetup> setup;
    if (manager->GetConvertor(convertor.put()) && convertor) {
      setup = convertor.query<tb::IConvertorSetup>();
    }
    if (!setup || !setup->Prepare(tb::kPrepareDitherOff)) {
      PrintErr(
          "note: the manager's convertor (%s) has no dither setting; "
          "--no-dither changes nothing\n",
          ManagerConvertor(manager).Text().c_str());
    }
  }

  tb::com_ptr<IUnknown> source;
  if (!OpenInput(manager, options, report.input, source)) return 1;
  report.openSeconds = Now() - started;
  tb::com_ptr<tb::ISourceControl> control = source.query<tb::ISourceControl>();
  tb::com_ptr<tb::ISourceData> data = source.query<tb::ISourceData>();
  tb::com_ptr<tb::ISourcePosition> position = source.query<tb::ISourcePosition>();
  tb::com_ptr<tb::IOriginalFormat> original = source.query<tb::IOriginalFormat>();
  if (!control || !data || !position || !original) {
    PrintErr("error: the manager's source proxy lacks an interface\n");
    return 1;
  }
  const tb::AudioFormat* delivered = data->GetFormat(&report.delivered);
  if (delivered) report.delivered = *delivered;
  original->GetSourceFormat(&report.own);
  report.reported = position->GetLength();
  report.decoder = IdentifyDecoder(manager, source.get());
  TagSet tags;
  if (options.tags == Options::Tags::kOwn) {
    tags = ReadOwnTags(manager, source.get());
  } else if (options.tags == Options::Tags::kFromName) {
    tags = ReadTags(source.get());
  }
  report.tags = options.tags == Options::Tags::kNone ? "none copied (--no-tags)" : tags.Describe();

  // The sink is made for the format the source proxy delivers.
  FileSinkCreator creator(factory.get(), output.temp_path());
  tb::com_ptr<IUnknown> sink;
  {
    IUnknown* raw = nullptr;
    const bool made = manager->CreateSink(&creator, &raw, &report.delivered, 0);
    sink = tb::com_ptr<IUnknown>::adopt(raw);
    if (!made) {
      if (creator.error()) {
        PrintError(manager, creator.error(), ("creating " + report.output).c_str());
      } else if (sink) {
        PrintErr(
            "error: the encoder made a sink, but the manager could not wrap it "
            "in its proxy\n");
      } else {
        PrintErr("error: the manager could not create the sink\n");
      }
      return 1;
    }
  }
  report.written = creator.sink_format();
  tb::com_ptr<tb::ISourceControl> sinkControl = sink.query<tb::ISourceControl>();
  tb::com_ptr<tb::ISinkData> sinkData = sink.query<tb::ISinkData>();
  if (!sinkControl || !sinkData) {
    PrintErr("error: the manager's sink proxy lacks an interface\n");
    return 1;
  }
  if (tags.any()) {
    // The proxy passes the query on to the sink; held only for the call, so the proxy
    // alone decides when the sink goes.
    tb::com_ptr<tb::ISinkTags> sinkTags = sink.query<tb::ISinkTags>();
    if (!sinkTags) {
      report.tags += " (not written: the encoder takes no tags)";
    } else if (!sinkTags->SetTags(tags.title.c_str(), tags.artist.c_str(), tags.album.c_str(),
                                  tags.genre.c_str(), tags.year)) {
      report.tags += " (not written: the encoder refused them)";
    }
  }
  if (options.level >= 0) {
    // Asked of the sink through the proxy, which passes the query on, before Start.
    tb::com_ptr<tb::ISinkCompression> compression = sink.query<tb::ISinkCompression>();
    int32_t lowest = 0, highest = 0;
    if (!compression) {
      PrintErr("error: %s has no compression levels; leave out --level\n", report.encoder.c_str());
      return 2;
    }
    compression->GetLevelRange(&lowest, &highest, nullptr);
    if (!compression->SetLevel(options.level)) {
      PrintErr("error: %s takes levels %d to %d, not %d\n", report.encoder.c_str(), lowest, highest,
               options.level);
      return 2;
    }
  }
  report.convertor = ConvertorLine(manager, report);

  if (!control->Start(0)) {
    if (!SameFormat(report.own, report.delivered)) {
      PrintErr(
          "error: the source did not start: the manager's convertor (%s) "
          "cannot convert %s to %s\n",
          ManagerConvertor(manager).Text().c_str(), FormatShort(report.own).c_str(),
          FormatShort(report.delivered).c_str());
    } else {
      PrintErr("error: the source did not start\n");
    }
    return 1;
  }
  if (!sinkControl->Start(0)) {
    PrintErr("error: the sink did not start%s\n",
             SameFormat(report.delivered, report.written)
                 ? ""
                 : ": the manager's convertor cannot convert to the encoder's format");
    control->Stop(0);
    return 1;
  }

  const uint32_t frameBytes =
      static_cast<uint32_t>(report.delivered.bitsPerSample / 8 * report.delivered.channels);
  Progress progress(report.reported, report.delivered.sampleRate, options.forceProgress);
  std::vector<uint8_t> buffer(kBlockSize);
  bool ok = true;
  bool interrupted = false;
  int emptyReads = 0;
  for (;;) {
    if (InterlockedCompareExchange(&g_interrupted, 0, 0) != 0) {
      progress.Break();
      PrintErr("error: interrupted; %s is not written\n", report.output.c_str());
      interrupted = true;
      ok = false;
      break;
    }
    uint32_t length = 0;
    int32_t status = 0;
    tb::com_ptr<tb::IError> error;
    if (!data->Read(buffer.data(), kBlockSize, &length, &status, error.put())) {
      progress.Break();
      PrintError(manager, error.get(), ("reading " + report.input).c_str());
      ok = false;
      break;
    }
    if (length == 0) {
      // The end of the data; a source that says it is not at its end yet gets a few
      // more tries before its word is taken.
      if (position->GetPosition() >= report.reported || ++emptyReads > 8) break;
      continue;
    }
    emptyReads = 0;
    if (!sinkData->Write(buffer.data(), length, 0, error.put())) {
      progress.Break();
      PrintError(manager, error.get(), ("writing " + report.output).c_str());
      ok = false;
      break;
    }
    report.bytes += length;
    report.frames = frameBytes ? report.bytes / frameBytes : 0;
    progress.Update(report.frames);
  }
  if (ok) progress.Done(report.frames);

  control->Stop(0);
  if (!sinkControl->Stop(0)) {
    if (ok) PrintErr("error: the encoder could not complete %s\n", report.output.c_str());
    ok = false;
  }
  // Everything of the plug-ins' goes before the file is moved into place: the sink
  // has closed it by now, the source may hold the input (perhaps the same name).
  sinkData.reset();
  sinkControl.reset();
  sink.reset();
  data.reset();
  position.reset();
  original.reset();
  control.reset();
  source.reset();
  factory.reset();
  encoder.reset();
  if (interrupted) return kExitInterrupted;
  if (!ok || !output.Commit()) return 1;

  report.totalSeconds = Now() - started;
  if (!Quiet()) PrintSummary(report);
  if (report.frames < report.reported) {
    PrintErr(
        "warning: %s delivered %llu frames of the %llu it announced; %s holds what "
        "there was\n",
        report.input.c_str(), static_cast<unsigned long long>(report.frames),
        static_cast<unsigned long long>(report.reported), report.output.c_str());
    return kExitShortInput;
  }
  return 0;
}

// Whether OUTPUT may be written over, as -y and -n say. With neither, a user at a
// console is asked; otherwise it is replaced, as it always was (the old file goes only
// once the new one is complete). -1 when it is to be left alone.
int MayWrite(const Options& options, const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES || options.overwrite) return 1;
  if (options.keepExisting) {
    if (!Quiet()) PrintErr("skipped: %s exists (-n)\n", path.c_str());
    return -1;
  }
  DWORD mode = 0;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(in, &mode)) return 1;
  PrintErr("%s exists. Overwrite? [y/N] ", path.c_str());
  char answer[16] = "";
  DWORD got = 0;
  ReadConsoleA(in, answer, sizeof answer - 1, &got, nullptr);
  if (answer[0] == 'y' || answer[0] == 'Y') return 1;
  PrintErr("not overwritten (-y overwrites, -n skips without asking)\n");
  return 0;
}

}  // namespace

const cli::CommandDef kConvertCommand = {
    "convert",
    "the main job: a file or URL into OUT, --format R[:B[:C]]",
    "convert INPUT OUTPUT [--format R[:B[:C]]] [--encoder NAME]\n"
    "        [--no-dither] [--tags-from-name | --no-tags]\n"
    "        [-y | -n] [--progress] [--plugins DIR]\n"
    "        [--keys NAME1 NAME2]\n"
    "convert INPUT... --out-dir DIR [--to flac|wav] [--cd] [...]",
    "Converts INPUT (a file path or an http or ftp URL) into the file OUTPUT, through\n"
    "the manager as a host does: a decoder opens INPUT, the manager's source proxy\n"
    "delivers the audio in the wanted format (converting through the manager's\n"
    "convertor), and an encoder writes it through the manager's sink proxy. The tags\n"
    "INPUT carries are copied as they are. OUTPUT appears only once it is complete.\n"
    "With --out-dir (or more than two operands), every INPUT file and every audio file\n"
    "under every INPUT folder is converted into DIR, each in a process of its own,\n"
    "keeping its place under its folder: IN/a/b.mp3 becomes DIR/a/b.wav.\n",
    kConvertOptions,
    sizeof kConvertOptions / sizeof kConvertOptions[0],
    true,
    "The work goes to OUTPUT.part beside OUTPUT, which is removed on failure, Ctrl+C,\n"
    "Ctrl+Break or closing the console, and replaced by the next run. An OUTPUT that\n"
    "exists is replaced with -y, kept with -n; with neither, a console asks, and\n"
    "otherwise it is replaced (several inputs: it is a failure). The progress line (speed\n"
    "and time left) goes to a console's error stream; the summary to standard output.\n"
    "Exit status:\n"
    "  0    OUTPUT was written (or kept, with -n)\n"
    "  1    failure; OUTPUT is then left as it was\n"
    "  2    bad arguments, or no encoder writes OUTPUT's extension (nothing is written)\n"
    "  3    OUTPUT was written, but INPUT delivered less than it announced (a damaged\n"
    "       or cut-short file): OUTPUT is complete as far as the input went\n"
    "  130  stopped by Ctrl+C or Ctrl+Break; OUTPUT is left as it was\n"
    "A plug-in that cannot be unloaded at the end is a warning only. Several inputs:\n"
    "0 when every file was converted or skipped, 1 when any failed.\n",
    1,
    cli::kAnyCount};

int CommandConvert(const cli::ParsedLine& line) {
  if (IsBatchConvert(line)) return CommandConvertBatch(line);
  Options options;
  if (!Parse(line, options)) return 2;
  PendingOutput output;
  if (!output.Prepare(options.output)) return 1;
  const int may = MayWrite(options, output.final_path());
  if (may <= 0) return may < 0 ? 0 : 1;
  g_outputGone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // A plug-in that will not unload is no reason to call a written OUTPUT a failure.
  const int status = RunWithManager(
      options.manager,
      [&options, &output](tb::IManager* manager) {
        SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
        const int result = Convert(manager, options, output);
        // Whatever failed, the partial file goes before the plug-ins do.
        output.Discard();
        if (g_outputGone) SetEvent(g_outputGone);
        SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
        return result;
      },
      UnloadRefused::kWarns);
  if (g_outputGone) CloseHandle(g_outputGone);
  g_outputGone = nullptr;
  return status;
}

}  // namespace host
