// tunebay-host info: what a host learns about a file or URL before it converts it:
// the format and length, the tags as the file carries them, and the artist and title
// that the user's artist/title setting makes of them, with the two settings' values,
// so that a surprising title can be traced to its cause.
#include <cstdio>
#include <string>
#include <vector>

#include "decoder_plan.h"
#include "host_support.h"
#include "json.h"
#include "plugin_report.h"

namespace host {

namespace {

const cli::OptionDef kInfoOptions[] = {
    {"json", '\0', 0, nullptr, "print the facts as JSON (fields in docs/host-tool.md)"},
};

struct Options {
  bool json = false;
  std::string input;
  ManagerOptions manager;
};

// A source whose data is shorter than the length it announces (a file cut short): the
// data size is of the source's own format here, since info asks for no other.
// Returns the frames the data holds when that is fewer than announced, otherwise -1.
int64_t WarnIfShort(tb::ISourceData* data, tb::ISourcePosition* position,
                    const tb::AudioFormat& format, const std::string& name) {
  if (!data || !position) return -1;
  const uint64_t frameBytes = static_cast<uint64_t>(format.bitsPerSample / 8) *
                              static_cast<uint64_t>(format.channels > 0 ? format.channels : 0);
  if (frameBytes == 0) return -1;
  const uint64_t announced = position->GetLength();
  // The data size has 32 bits: beyond them it says nothing.
  if (announced > 0xFFFFFFFFu / frameBytes) return -1;
  const uint64_t held = (data->GetDataSize() & 0xFFFFFFFFu) / frameBytes;
  if (held >= announced) return -1;
  PrintErr(
      "warning: %s announces %llu frames but holds data for %llu: it is cut short "
      "or damaged\n",
      name.c_str(), static_cast<unsigned long long>(announced),
      static_cast<unsigned long long>(held));
  return static_cast<int64_t>(held);
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
struct FileTags {
  std::string title, artist, album, genre;
  int32_t year = 0;
};

bool ReadFileTags(tb::IManager* manager, const std::string& path, FileTags& out) {
  if (path.empty()) return false;
  IUnknown* raw = nullptr;
  if (!manager->OpenSource(path.c_str(), nullptr, &raw, -1, 0, 0, nullptr) || !raw) {
    if (raw) raw->Release();
    return false;
  }
  tb::com_ptr<IUnknown> source = tb::com_ptr<IUnknown>::adopt(raw);
  tb::com_ptr<tb::ITagInfo> tags = source.query<tb::ITagInfo>();
  if (!tags) return false;
  const auto text = [](const char* t) { return std::string(t ? t : ""); };
  out.title = text(tags->GetTitle());
  out.artist = text(tags->GetArtist());
  out.album = text(tags->GetAlbum());
  out.genre = text(tags->GetGenre());
  out.year = tags->GetYear();
  return true;
}

// What info reports, gathered before anything is printed.
struct Facts {
  std::string name;
  std::string path;  // the local file; for a URL the downloader's copy
  std::string decoder;
  tb::AudioFormat format = {0, 0, 0};
  bool hasLength = false;
  uint64_t frames = 0;
  bool hasDataSize = false;
  uint64_t dataSize = 0;
  int64_t heldFrames = -1;  // fewer frames than announced, or -1
  int32_t cuePoints = 0;
  bool hasFileTags = false;
  FileTags fileTags;
  ArtistTitleSettings settings;
  bool hasTags = false;  // the proxy's, after the artist/title rule
  std::string title, artist;
  bool guessed = false;
};

void JsonSetting(JsonWriter& json, const char* key, int32_t value, bool stored,
                 const char* meaning) {
  json.Key(key).BeginObject().Key("value").Int(value).Key("stored").Bool(stored);
  json.Key("meaning").String(meaning).EndObject();
}

bool PrintJsonFacts(const Facts& f) {
  JsonWriter json;
  json.BeginObject().Key("name").String(Utf8OfAnsi(f.name));
  json.Key("localPath").String(Utf8OfAnsi(f.path));
  json.Key("decoder").String(Utf8OfAnsi(f.decoder));
  json.Key("format").BeginObject().Key("sampleRate").Int(f.format.sampleRate);
  json.Key("bitsPerSample").Int(f.format.bitsPerSample);
  json.Key("channels").Int(f.format.channels).EndObject();
  if (f.hasLength) {
    json.Key("lengthFrames").UInt(f.frames).Key("lengthSeconds");
    if (f.format.sampleRate > 0) {
      json.Number(static_cast<double>(f.frames) / f.format.sampleRate);
    } else {
      json.Null();
    }
  }
  if (f.hasDataSize) json.Key("dataSize").UInt(f.dataSize);
  json.Key("heldFrames");
  if (f.heldFrames >= 0) {
    json.Int(f.heldFrames);
  } else {
    json.Null();
  }
  json.Key("cuePoints").Int(f.cuePoints);
  json.Key("fileTags");
  if (f.hasFileTags) {
    json.BeginObject().Key("title").String(Utf8OfAnsi(f.fileTags.title));
    json.Key("artist").String(Utf8OfAnsi(f.fileTags.artist));
    json.Key("album").String(Utf8OfAnsi(f.fileTags.album));
    json.Key("genre").String(Utf8OfAnsi(f.fileTags.genre));
    json.Key("year");
    if (f.fileTags.year > 0) {
      json.Int(f.fileTags.year);
    } else {
      json.Null();
    }
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("artistTitleSetting").BeginObject();
  JsonSetting(json, "ArtistTitleSource", f.settings.source, f.settings.sourceStored,
              SourceMeaning(f.settings.source));
  JsonSetting(json, "ArtistTitle_FileNameFormat", f.settings.layout, f.settings.layoutStored,
              LayoutMeaning(f.settings.layout));
  json.EndObject();
  if (f.hasTags) {
    json.Key("title").String(Utf8OfAnsi(f.title)).Key("artist").String(Utf8OfAnsi(f.artist));
    json.Key("guessedFromName").Bool(f.guessed);
  } else {
    json.Key("title").Null().Key("artist").Null().Key("guessedFromName").Bool(false);
  }
  json.EndObject();
  return PrintJson(json);
}

void PrintFacts(const Facts& f) {
  PrintOut("%s\n", f.name.c_str());
  if (f.path != f.name && !f.path.empty()) PrintOut("  local copy: %s\n", f.path.c_str());
  PrintOut("  decoder:    %s\n", f.decoder.c_str());
  PrintOut("  format:     %s\n", FormatText(f.format).c_str());
  if (f.hasLength) {
    PrintOut("  length:     %llu frames", static_cast<unsigned long long>(f.frames));
    if (f.format.sampleRate > 0) {
      PrintOut(", %.3f s", static_cast<double>(f.frames) / f.format.sampleRate);
    }
    PrintOut("\n");
  }
  if (f.hasDataSize) {
    PrintOut("  data size:  %llu bytes\n", static_cast<unsigned long long>(f.dataSize));
  }
  PrintOut("  cue points: %ld\n", static_cast<long>(f.cuePoints));
  if (f.hasFileTags) {
    const FileTags& t = f.fileTags;
    const std::string year = t.year > 0 ? std::to_string(t.year) : "none";
    PrintOut("  tags in the file: title %s, artist %s, album %s, genre %s, year %s\n",
             Quoted(t.title.c_str()).c_str(), Quoted(t.artist.c_str()).c_str(),
             Quoted(t.album.c_str()).c_str(), Quoted(t.genre.c_str()).c_str(), year.c_str());
  } else if (!f.hasTags) {
    PrintOut("  tags in the file: none (the source has no tag information)\n");
  } else {
    PrintOut("  tags in the file: not readable apart from the proxy\n");
  }
  const ArtistTitleSettings& s = f.settings;
  PrintOut("  artist/title setting:\n");
  PrintOut("    ArtistTitleSource          = %ld%s: %s\n", static_cast<long>(s.source),
           s.sourceStored ? "" : " (none stored)", SourceMeaning(s.source));
  PrintOut("    ArtistTitle_FileNameFormat = %ld%s: %s\n", static_cast<long>(s.layout),
           s.layoutStored ? "" : " (none stored)", LayoutMeaning(s.layout));
  if (f.hasTags) {
    PrintOut("  by that rule: title %s, artist %s%s\n", Quoted(f.title.c_str()).c_str(),
             Quoted(f.artist.c_str()).c_str(),
             f.guessed ? " (guessed from the file name; convert copies them only with "
                         "--tags-from-name)"
                       : "");
  } else {
    PrintOut("  by that rule: no title or artist (the source has no tag information)\n");
  }
}

int Info(tb::IManager* manager, const Options& options) {
  Facts f;
  f.name = SourceNameOf(options.input);
  tb::com_ptr<IUnknown> source;
  tb::com_ptr<tb::IError> error;
  if (!OpenWithFormat(manager, f.name, cli::FormatRequest(), source, error)) {
    if (source) {
      PrintErr("error: %s opened, but the manager could not wrap it in its proxy\n",
               f.name.c_str());
    } else {
      PrintError(manager, error.get(), ("opening " + f.name).c_str());
      PrintDecoderAttempts(manager);
      ExplainUrlFailure(manager, f.name);
    }
    return 1;
  }

  tb::com_ptr<tb::ISourceData> data = source.query<tb::ISourceData>();
  tb::com_ptr<tb::ISourcePosition> position = source.query<tb::ISourcePosition>();
  tb::com_ptr<tb::ISampleQuery> cues = source.query<tb::ISampleQuery>();
  tb::com_ptr<tb::ITagInfo> tags = source.query<tb::ITagInfo>();
  if (data) {
    const tb::AudioFormat* answered = data->GetFormat(&f.format);
    if (answered) f.format = *answered;
    f.hasDataSize = true;
    f.dataSize = data->GetDataSize();
  }
  f.path = FilePathOf(source.get());
  f.decoder = IdentifyDecoder(manager, source.get());
  if (position) {
    f.hasLength = true;
    f.frames = position->GetLength();
  }
  f.heldFrames = WarnIfShort(data.get(), position.get(), f.format, f.name);
  f.cuePoints = cues ? cues->QueryCount() : 0;
  f.hasFileTags = ReadFileTags(manager, f.path, f.fileTags);
  f.settings = ReadArtistTitleSettings(manager);
  if (tags) {
    // Each text is copied at once: the next call may replace it.
    const char* text = tags->GetTitle();
    f.title = text ? text : "";
    text = tags->GetArtist();
    f.artist = text ? text : "";
    f.hasTags = true;
    // Texts the file does not carry were guessed from its name.
    f.guessed = f.hasFileTags && (f.title != f.fileTags.title || f.artist != f.fileTags.artist);
  }
  if (options.json) return PrintJsonFacts(f) ? 0 : 1;
  PrintFacts(f);
  return 0;
}

}  // namespace

const cli::CommandDef kInfoCommand = {
    "info",
    "format, length, tags, and the artist/title rule",
    "info INPUT [--json] [--plugins DIR] [--keys NAME1 NAME2]",
    "Opens INPUT (a file path or an http or ftp URL) through the manager, wrapped in its\n"
    "proxy, and prints its format, length and data size, the decoder that opened it, the\n"
    "tags in the file, the number of cue points, and the title and artist that the\n"
    "user's artist/title setting gives, with that setting's two values.\n",
    kInfoOptions,
    sizeof kInfoOptions / sizeof kInfoOptions[0],
    true,
    "Exit status: 0 when INPUT opened, 1 when it did not or the manager failed, 2 for\n"
    "bad arguments.\n",
    1,
    1};

int CommandInfo(const cli::ParsedLine& line) {
  Options options;
  options.json = line.Has("json");
  options.input = line.operands[0];
  options.manager = ManagerOptionsOf(line);
  return RunWithManager(options.manager,
                        [&options](tb::IManager* manager) { return Info(manager, options); });
}

}  // namespace host
