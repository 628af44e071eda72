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
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decoder_plan.h"
#include "host_support.h"

namespace host {

namespace {

const CommandHelp kConvertHelp = {
    "usage: tunebay-host convert INPUT OUTPUT [--format RATE:BITS:CHANNELS]\n"
    "                            [--encoder NAME] [--level N] [--no-dither]\n"
    "                            [--tags-from-name | --no-tags]\n"
    "                            [--plugins DIR] [--keys NAME1 NAME2]\n"
    "\n"
    "Converts INPUT (a file path or an http or ftp URL) into the file OUTPUT, through\n"
    "the manager as a host does: a decoder opens INPUT, the manager's source proxy\n"
    "delivers the audio in the wanted format (converting through the manager's\n"
    "convertor), and an encoder writes it through the manager's sink proxy. The tags\n"
    "INPUT carries are copied as they are. OUTPUT appears only once it is complete.\n"
    "\n"
    "  --format R:B:C       the output's sample rate, bits per sample and channels\n"
    "                       (default: the input's own)\n"
    "  --encoder NAME       the encoder to write with, by component name or library\n"
    "                       file name (default: the first encoder that lists OUTPUT's\n"
    "                       extension; an extension no encoder lists is refused)\n"
    "  --level N            the encoder's compression level, for an encoder that has\n"
    "                       them (FLAC: 0 fastest to 8 smallest, 5 when not given)\n"
    "  --no-dither          round when the output has fewer bits per sample than the\n"
    "                       input, instead of adding the convertor's dither\n"
    "  --tags-from-name     title and artist as the artist/title setting gives them,\n"
    "                       which may guess them from the file name\n"
    "  --no-tags            copy no tags\n",
    "\n"
    "The work goes to OUTPUT.part beside OUTPUT, which is removed on failure, Ctrl+C,\n"
    "Ctrl+Break or closing the console, and replaced by the next run.\n"
    "A progress bar appears on the terminal; the summary goes to standard output.\n"
    "Exit status:\n"
    "  0  OUTPUT was written\n"
    "  1  failure; OUTPUT is then left as it was\n"
    "  2  bad arguments, or no encoder writes OUTPUT's extension (nothing is written)\n"
    "  3  OUTPUT was written, but INPUT delivered less than it announced (a damaged\n"
    "     or cut-short file): OUTPUT is complete as far as the input went\n"
    "A plug-in that cannot be unloaded at the end is a warning only.\n"};

// Exit statuses beyond 0, 1 and 2 (host.h's).
const int kExitShortInput = 3;

// Large enough for the proxy's converting read: it asks the source for a block that,
// converted, fits the caller's buffer less a small margin.
const uint32_t kBlockSize = 64 * 1024;

struct Options {
  bool help = false;
  bool hasFormat = false;
  bool noDither = false;
  tb::AudioFormat format = {0, 0, 0};
  std::string input;
  std::string output;
  std::string encoder;
  int32_t level = -1;  // the encoder's own unless given
  enum class Tags { kOwn, kFromName, kNone } tags = Tags::kOwn;
  ManagerOptions manager;
};

bool Parse(const Args& args, Options& options) {
  DefaultManagerOptions(options.manager);
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--format" && i + 1 < args.size()) {
      if (!ParseFormatOption(args[++i], options.format)) return false;
      options.hasFormat = true;
    } else if (arg == "--no-dither") {
      options.noDither = true;
    } else if (arg == "--encoder" && i + 1 < args.size()) {
      options.encoder = args[++i];
    } else if (arg == "--level" && i + 1 < args.size()) {
      const std::string& text = args[++i];
      if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != text.npos) {
        PrintErr("error: --level takes a whole number, not %s\n", text.c_str());
        return false;
      }
      options.level = std::stoi(text);
    } else if (arg == "--tags-from-name" || arg == "--no-tags") {
      const auto mode = arg == "--no-tags" ? Options::Tags::kNone : Options::Tags::kFromName;
      if (options.tags != Options::Tags::kOwn && options.tags != mode) {
        PrintErr("error: --tags-from-name and --no-tags exclude each other\n");
        return false;
      }
      options.tags = mode;
    } else if (TakeManagerOption(args, i, options.manager)) {
    } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
      PrintErr("error: unknown option or missing value: %s\n", arg.c_str());
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (options.help) return true;
  if (positional.size() != 2) {
    PrintErr("error: convert needs an input and an output\n");
    return false;
  }
  options.input = positional[0];
  options.output = positional[1];
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

// A bar on the terminal, redrawn a few times a second. Nothing when the error stream
// is not a terminal: logs get the summary only.
class ProgressBar {
 public:
  ProgressBar(uint64_t total, int32_t rate)
      : enabled_(_isatty(_fileno(stderr)) != 0), total_(total), rate_(rate) {}

  void Update(uint64_t frames) {
    if (!enabled_) return;
    const double now = Now();
    if (now - last_ < 0.1) return;
    last_ = now;
    Draw(frames);
  }

  void Done(uint64_t frames) {
    if (!enabled_) return;
    Draw(frames);
    PrintErr("\n");
  }

 private:
  void Draw(uint64_t frames) {
    const int kWidth = 40;
    const double part = total_ ? static_cast<double>(frames) / static_cast<double>(total_) : 0;
    const int filled = static_cast<int>((part > 1 ? 1 : part) * kWidth);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '-');
    const double rate = rate_ > 0 ? rate_ : 1;
    PrintErr("\r[%s] %3d%%  %.1f of %.1f s", bar.c_str(),
             static_cast<int>((part > 1 ? 1 : part) * 100), static_cast<double>(frames) / rate,
             static_cast<double>(total_) / rate);
    std::fflush(stderr);
  }

  bool enabled_;
  uint64_t total_;
  int32_t rate_;
  double last_ = 0;
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
  IUnknown* raw = nullptr;
  tb::com_ptr<tb::IError> error;
  const bool opened =
      manager->OpenSource(name.c_str(), options.hasFormat ? &options.format : nullptr, &raw, -1,
                          tb::kOpenWithProxy, 0, error.put());
  source = tb::com_ptr<IUnknown>::adopt(raw);
  if (opened) return true;
  if (source) {
    PrintErr("error: %s opened, but the manager could not wrap it in its proxy\n", name.c_str());
    source.reset();
  } else {
    PrintError(manager, error.get(), ("opening " + name).c_str());
    ExplainUrlFailure(manager, name);
    if (options.hasFormat && error && error->GetCode() == tb::result::InvalidParameter) {
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
      std::fprintf(stderr,
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
  ProgressBar progress(report.reported, report.delivered.sampleRate);
  std::vector<uint8_t> buffer(kBlockSize);
  bool ok = true;
  int emptyReads = 0;
  for (;;) {
    if (InterlockedCompareExchange(&g_interrupted, 0, 0) != 0) {
      PrintErr("\nerror: interrupted; %s is not written\n", report.output.c_str());
      ok = false;
      break;
    }
    uint32_t length = 0;
    int32_t status = 0;
    tb::com_ptr<tb::IError> error;
    if (!data->Read(buffer.data(), kBlockSize, &length, &status, error.put())) {
      PrintErr("\n");
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
      PrintErr("\n");
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
  if (!ok || !output.Commit()) return 1;

  report.totalSeconds = Now() - started;
  PrintSummary(report);
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

}  // namespace

int CommandConvert(const Args& args) {
  if (IsBatchConvert(args)) return CommandConvertBatch(args);
  Options options;
  if (!Parse(args, options)) return ShowHelpForBadArguments(kConvertHelp);
  if (options.help) return ShowHelp(kConvertHelp);
  PendingOutput output;
  if (!output.Prepare(options.output)) return 1;
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
