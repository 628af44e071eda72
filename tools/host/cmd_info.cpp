// tunebay-host info: what a host learns about a file or URL before it converts it:
// the format and length, the tags as the file carries them, and the artist and title
// that the user's artist/title setting makes of them, with the two settings' values,
// so that a surprising title can be traced to its cause.
#include <cstdio>
#include <string>
#include <vector>

#include "decoder_plan.h"
#include "host_support.h"
#include "plugin_report.h"

namespace host {

namespace {

const CommandHelp kInfoHelp = {
    "usage: tunebay-host info INPUT [--plugins DIR] [--keys NAME1 NAME2]\n"
    "\n"
    "Opens INPUT (a file path or an http or ftp URL) through the manager, wrapped in its\n"
    "proxy, and prints its format, length and data size, the decoder that opened it, the\n"
    "tags in the file, the number of cue points, and the title and artist that the\n"
    "user's artist/title setting gives, with that setting's two values.\n"
    "\n",
    "\n"
    "Exit status: 0 when INPUT opened, 1 when it did not or the manager failed, 2 for\n"
    "bad arguments.\n"};

struct Options {
  bool help = false;
  std::string input;
  ManagerOptions manager;
};

bool Parse(const Args& args, Options& options) {
  DefaultManagerOptions(options.manager);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (TakeManagerOption(args, i, options.manager)) {
    } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
      PrintErr("error: unknown option or missing value: %s\n", arg.c_str());
      return false;
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      PrintErr("error: unexpected argument: %s\n", arg.c_str());
      return false;
    }
  }
  if (options.input.empty() && !options.help) {
    PrintErr("error: info needs the name of a file or URL\n");
    return false;
  }
  return true;
}

// A source whose data is shorter than the length it announces (a file cut short): the
// data size is of the source's own format here, since info asks for no other.
void WarnIfShort(tb::ISourceData* data, tb::ISourcePosition* position,
                 const tb::AudioFormat& format, const std::string& name) {
  if (!data || !position) return;
  const uint64_t frameBytes = static_cast<uint64_t>(format.bitsPerSample / 8) *
                              static_cast<uint64_t>(format.channels > 0 ? format.channels : 0);
  if (frameBytes == 0) return;
  const uint64_t announced = position->GetLength();
  // The data size has 32 bits: beyond them it says nothing.
  if (announced > 0xFFFFFFFFu / frameBytes) return;
  const uint64_t held = (data->GetDataSize() & 0xFFFFFFFFu) / frameBytes;
  if (held >= announced) return;
  PrintErr(
      "warning: %s announces %llu frames but holds data for %llu: it is cut short "
      "or damaged\n",
      name.c_str(), static_cast<unsigned long long>(announced),
      static_cast<unsigned long long>(held));
}

std::string Quoted(const char* text) { return std::string("\"") + (text ? text : "") + "\""; }

// The artist/title setting's values as the manager keeps them in the registry
// ("ArtistTitleSource", "ArtistTitle_FileNameFormat"); 0 for each when none is stored.
struct ArtistTitleSettings {
  int32_t source = 0;
  int32_t layout = 0;
  bool sourceStored = false;
  bool layoutStored = false;
};

// Read through the library, which knows where its store keeps them: the manager was
// set up with the options' key names.
ArtistTitleSettings ReadArtistTitleSettings(tb::IManager* manager) {
  ArtistTitleSettings s;
  const tb::com_ptr<tb::IManagerRules> rules = RulesOf(manager);
  if (!rules) return s;
  s.sourceStored = rules->GetStoredSetting(tb::kSettingArtistTitleSource, &s.source);
  s.layoutStored = rules->GetStoredSetting(tb::kSettingArtistTitleFileNameFormat, &s.layout);
  return s;
}

const char* SourceMeaning(int32_t value) {
  switch (value) {
    case 0:
      return "the tags when they give both texts, otherwise the file name";
    case 1:
      return "always the tags";
    case 2:
      return "always the file name";
    default:
      return "not a known value: the tags as they are";
  }
}

const char* LayoutMeaning(int32_t value) {
  switch (value) {
    case 0:
      return "file names read as <Artist><delimiter><Title>";
    case 1:
      return "file names read as <Title><delimiter><Artist>";
    case 2:
      return "file names read as <Title>";
    default:
      return "not a known value: a file name gives nothing";
  }
}

// The tags as the decoder reports them, before the artist/title rule: the local file
// (for a URL, the downloader's copy) opened once more, without the proxy.
bool ReadFileTags(tb::IManager* manager, const std::string& path, std::vector<std::string>& out) {
  if (path.empty()) return false;
  IUnknown* raw = nullptr;
  if (!manager->OpenSource(path.c_str(), nullptr, &raw, -1, 0, 0, nullptr) || !raw) {
    if (raw) raw->Release();
    return false;
  }
  tb::com_ptr<IUnknown> source = tb::com_ptr<IUnknown>::adopt(raw);
  tb::com_ptr<tb::ITagInfo> tags = source.query<tb::ITagInfo>();
  if (!tags) return false;
  out.push_back(Quoted(tags->GetTitle()));
  out.push_back(Quoted(tags->GetArtist()));
  out.push_back(Quoted(tags->GetAlbum()));
  out.push_back(Quoted(tags->GetGenre()));
  const int32_t year = tags->GetYear();
  out.push_back(year > 0 ? std::to_string(year) : "none");
  return true;
}

int Info(tb::IManager* manager, const Options& options) {
  const std::string name = SourceNameOf(options.input);
  IUnknown* raw = nullptr;
  tb::com_ptr<tb::IError> error;
  const bool opened =
      manager->OpenSource(name.c_str(), nullptr, &raw, -1, tb::kOpenWithProxy, 0, error.put());
  tb::com_ptr<IUnknown> source = tb::com_ptr<IUnknown>::adopt(raw);
  if (!opened) {
    if (source) {
      PrintErr("error: %s opened, but the manager could not wrap it in its proxy\n", name.c_str());
    } else {
      PrintError(manager, error.get(), ("opening " + name).c_str());
      PrintDecoderAttempts(manager);
      ExplainUrlFailure(manager, name);
    }
    return 1;
  }

  tb::com_ptr<tb::ISourceData> data = source.query<tb::ISourceData>();
  tb::com_ptr<tb::ISourcePosition> position = source.query<tb::ISourcePosition>();
  tb::com_ptr<tb::ISampleQuery> cues = source.query<tb::ISampleQuery>();
  tb::com_ptr<tb::ITagInfo> tags = source.query<tb::ITagInfo>();
  tb::AudioFormat format = {0, 0, 0};
  if (data) {
    const tb::AudioFormat* answered = data->GetFormat(&format);
    if (answered) format = *answered;
  }
  const std::string path = FilePathOf(source.get());

  PrintOut("%s\n", name.c_str());
  if (path != name && !path.empty()) PrintOut("  local copy: %s\n", path.c_str());
  PrintOut("  decoder:    %s\n", IdentifyDecoder(manager, source.get()).c_str());
  PrintOut("  format:     %s\n", FormatText(format).c_str());
  if (position) {
    const unsigned long long frames = position->GetLength();
    PrintOut("  length:     %llu frames", frames);
    if (format.sampleRate > 0) {
      PrintOut(", %.3f s", static_cast<double>(frames) / format.sampleRate);
    }
    PrintOut("\n");
  }
  if (data) {
    PrintOut("  data size:  %llu bytes\n", static_cast<unsigned long long>(data->GetDataSize()));
  }
  WarnIfShort(data.get(), position.get(), format, name);
  PrintOut("  cue points: %ld\n", static_cast<long>(cues ? cues->QueryCount() : 0));

  std::vector<std::string> fileTags;
  if (ReadFileTags(manager, path, fileTags)) {
    PrintOut("  tags in the file: title %s, artist %s, album %s, genre %s, year %s\n",
             fileTags[0].c_str(), fileTags[1].c_str(), fileTags[2].c_str(), fileTags[3].c_str(),
             fileTags[4].c_str());
  } else if (!tags) {
    PrintOut("  tags in the file: none (the source has no tag information)\n");
  } else {
    PrintOut("  tags in the file: not readable apart from the proxy\n");
  }

  const ArtistTitleSettings settings = ReadArtistTitleSettings(manager);
  PrintOut("  artist/title setting:\n");
  PrintOut("    ArtistTitleSource          = %ld%s: %s\n", static_cast<long>(settings.source),
           settings.sourceStored ? "" : " (none stored)", SourceMeaning(settings.source));
  PrintOut("    ArtistTitle_FileNameFormat = %ld%s: %s\n", static_cast<long>(settings.layout),
           settings.layoutStored ? "" : " (none stored)", LayoutMeaning(settings.layout));
  if (tags) {
    // Each text is copied at once: the next call may replace it.
    const std::string title = Quoted(tags->GetTitle());
    const std::string artist = Quoted(tags->GetArtist());
    // Texts the file does not carry were guessed from its name.
    const bool guessed = fileTags.size() >= 2 && (title != fileTags[0] || artist != fileTags[1]);
    PrintOut("  by that rule: title %s, artist %s%s\n", title.c_str(), artist.c_str(),
             guessed ? " (guessed from the file name; convert copies them only with "
                       "--tags-from-name)"
                     : "");
  } else {
    PrintOut("  by that rule: no title or artist (the source has no tag information)\n");
  }
  return 0;
}

}  // namespace

int CommandInfo(const Args& args) {
  Options options;
  if (!Parse(args, options)) return ShowHelpForBadArguments(kInfoHelp);
  if (options.help) return ShowHelp(kInfoHelp);
  return RunWithManager(options.manager,
                        [&options](tb::IManager* manager) { return Info(manager, options); });
}

}  // namespace host
