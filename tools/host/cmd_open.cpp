// tunebay-host open: opens a file or URL through the manager as a host does, wrapped in
// the manager's proxy, and prints what the host would see: format, length, title and
// artist. With --explain it first shows the order in which the decoders will be tried,
// so a user can see why a file opened with the decoder it did.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/com.h"
#include "decoder_plan.h"
#include "host_support.h"
#include "json.h"
#include "plugin_report.h"

namespace host {

namespace {

const cli::OptionDef kOpenOptions[] = {
    {"format", '\0', 1, "R[:B[:C]]",
     "the format to present: sample rate, bits per sample and channels; a field\n"
     "left out or empty keeps the source's own (48000, 48000:24, ::1); a different\n"
     "format is converted by the manager's convertor when the source starts"},
    {"explain", '\0', 0, nullptr,
     "first print, from the user's decoder order and each decoder's extension list,\n"
     "the order in which the decoders will be tried and in which pass"},
    {"json", '\0', 0, nullptr, "print the result as JSON (fields in docs/host-tool.md)"},
};

struct Options {
  bool explain = false;
  bool json = false;
  cli::FormatRequest format;
  std::string name;
  ManagerOptions manager;
};

std::string Quoted(const char* text) { return std::string("\"") + (text ? text : "") + "\""; }

// ---- --explain ----------------------------------------------------------------------

// The plan as JSON members of the open object: "extension" and "decoders".
void ExplainJson(tb::IManager* manager, const std::string& name, JsonWriter& json) {
  std::string extension, note;
  const bool searched = SearchExtensionOf(manager, name, extension, note);
  std::vector<DecoderCandidate> candidates;
  if (searched) ListDecoders(manager, extension, candidates);
  json.Key("extension").String(Utf8OfAnsi(extension));
  json.Key("decoders").BeginArray();
  for (const DecoderCandidate& c : candidates) {
    json.BeginObject().Key("name").String(Utf8OfAnsi(c.label.name));
    json.Key("module").String(Utf8OfAnsi(c.label.module)).Key("index").Int(c.label.index);
    json.Key("extensions").String(Utf8OfAnsi(c.extensions));
    if (c.skipped.empty()) {
      json.Key("pass").Int(c.lists ? 0 : 1);
    } else {
      json.Key("pass").Null().Key("skipped").String(Utf8OfAnsi(c.skipped));
    }
    json.EndObject();
  }
  json.EndArray();
}

void Explain(tb::IManager* manager, const std::string& name) {
  std::string extension, note;
  const bool searched = SearchExtensionOf(manager, name, extension, note);
  if (!note.empty()) std::printf("Note: %s.\n", note.c_str());
  if (!searched) return;

  std::vector<DecoderCandidate> candidates;
  if (!ListDecoders(manager, extension, candidates)) {
    std::printf("The manager gave no decoder list: no decoder will be asked.\n");
    return;
  }

  std::printf("Decoders in the user's order: %u. The file's extension: %s.\n",
              static_cast<unsigned>(candidates.size()),
              extension.empty() ? "none (no decoder lists it)" : Quoted(extension.c_str()).c_str());
  int step = 0;
  for (int pass = 0; pass < 2; ++pass) {
    std::printf("Pass %d, decoders that %s the extension:\n", pass,
                pass == 0 ? "list" : "do not list");
    bool any = false;
    for (const DecoderCandidate& c : candidates) {
      if (!c.skipped.empty() || c.lists != (pass == 0)) continue;
      std::printf("  %2d. %-28s %-18s extensions: %s\n", ++step, c.label.name.c_str(),
                  c.label.Origin().c_str(), c.extensions.empty() ? "(none)" : c.extensions.c_str());
      any = true;
    }
    if (!any) std::printf("      (none)\n");
  }
  bool header = false;
  for (const DecoderCandidate& c : candidates) {
    if (c.skipped.empty()) continue;
    if (!header) std::printf("Never asked:\n");
    header = true;
    std::printf("      %-28s %-18s %s\n", c.label.name.c_str(), c.label.Origin().c_str(),
                c.skipped.c_str());
  }
  std::printf(
      "The first decoder whose Open succeeds opens the source; a decoder error marked "
      "final ends the search.\n\n");
}

// ---- Opening ----------------------------------------------------------------------

template <class I>
tb::com_ptr<I> Face(IUnknown* object) {
  return tb::com_ptr<IUnknown>(object).query<I>();
}

void JsonFormat(JsonWriter& json, const char* key, const tb::AudioFormat& f) {
  json.Key(key).BeginObject().Key("sampleRate").Int(f.sampleRate);
  json.Key("bitsPerSample").Int(f.bitsPerSample).Key("channels").Int(f.channels).EndObject();
}

int Open(tb::IManager* manager, const Options& options) {
  tb::com_ptr<IUnknown> source;
  tb::com_ptr<tb::IError> error;
  const bool opened = OpenWithFormat(manager, options.name, options.format, source, error);
  if (!opened) {
    if (source) {
      // A decoder opened it, but the proxy could not be built around its object.
      PrintErr(
          "error: %s opened, but the manager could not wrap it: the source "
          "lacks an interface the proxy needs, or its format describes no "
          "audio\n",
          options.name.c_str());
    } else {
      PrintError(manager, error.get(), ("opening " + options.name).c_str());
      PrintDecoderAttempts(manager);
      if (options.format.Any() && error && error->GetCode() == tb::result::InvalidParameter) {
        PrintErr(
            "note: a format needs at least 8 bits, one channel and a sample "
            "rate above 0\n");
      }
    }
    return 1;
  }

  tb::com_ptr<tb::ISourceData> data = Face<tb::ISourceData>(source.get());
  tb::com_ptr<tb::ISourcePosition> position = Face<tb::ISourcePosition>(source.get());
  tb::com_ptr<tb::IOriginalFormat> original = Face<tb::IOriginalFormat>(source.get());
  tb::com_ptr<tb::ITagInfo> tags = Face<tb::ITagInfo>(source.get());
  tb::AudioFormat presented = {0, 0, 0}, own = {0, 0, 0};
  if (data) data->GetFormat(&presented);
  if (original) original->GetSourceFormat(&own);
  if (options.json) {
    JsonWriter json;
    json.BeginObject().Key("name").String(Utf8OfAnsi(options.name));
    JsonFormat(json, "format", presented);
    JsonFormat(json, "sourceFormat", own);
    json.Key("converted").Bool(!SameFormat(own, presented));
    if (position) {
      const uint64_t frames = position->GetLength();
      json.Key("lengthFrames").UInt(frames);
      json.Key("lengthSeconds");
      if (presented.sampleRate > 0) {
        json.Number(static_cast<double>(frames) / presented.sampleRate);
      } else {
        json.Null();
      }
    }
    json.Key("hasTags").Bool(static_cast<bool>(tags));
    if (tags) {
      // Each text is copied at once: the next call may replace it.
      const char* text = tags->GetTitle();
      json.Key("title").String(Utf8OfAnsi(text ? text : ""));
      text = tags->GetArtist();
      json.Key("artist").String(Utf8OfAnsi(text ? text : ""));
    }
    if (options.explain) ExplainJson(manager, options.name, json);
    json.EndObject();
    return PrintJson(json) ? 0 : 1;
  }
  std::printf("Opened %s\n", options.name.c_str());
  std::printf("  format:  %s\n", FormatText(presented).c_str());
  std::printf("  source:  %s%s\n", FormatText(own).c_str(),
              own.sampleRate == presented.sampleRate &&
                      own.bitsPerSample == presented.bitsPerSample &&
                      own.channels == presented.channels
                  ? ""
                  : " (converted on start)");
  if (position) {
    const unsigned long long frames = position->GetLength();
    std::printf("  length:  %llu frames", frames);
    if (presented.sampleRate > 0) {
      std::printf(" (%.3f s)", static_cast<double>(frames) / presented.sampleRate);
    }
    std::printf("\n");
  }
  if (tags) {
    // Each text is copied at once: the next call may replace it.
    const char* text = tags->GetTitle();
    const std::string title = text ? text : "";
    text = tags->GetArtist();
    const std::string artist = text ? text : "";
    std::printf("  title:   %s\n  artist:  %s\n", Quoted(title.c_str()).c_str(),
                Quoted(artist.c_str()).c_str());
  } else {
    std::printf("  title:   (the source has no tag information)\n");
  }
  return 0;
}

}  // namespace

const cli::CommandDef kOpenCommand = {
    "open",
    "a file or URL as a host sees it; --explain",
    "open NAME [--format R[:B[:C]]] [--explain] [--json]\n"
    "     [--plugins DIR] [--keys NAME1 NAME2]",
    "Opens NAME (a full file path, a UNC path, or an http or ftp URL) through the\n"
    "manager's decoders, wrapped in the manager's proxy, and prints the format the\n"
    "proxy presents, the length, and the title and artist as the user's artist/title\n"
    "setting gives them. Then releases the source and finishes.\n",
    kOpenOptions,
    sizeof kOpenOptions / sizeof kOpenOptions[0],
    true,
    "Exit status: 0 when the source opened, 1 when it did not or the manager failed,\n"
    "2 for bad arguments.\n",
    1,
    1};

int CommandOpen(const cli::ParsedLine& line) {
  Options options;
  options.explain = line.Has("explain");
  options.json = line.Has("json");
  options.name = line.operands[0];
  options.manager = ManagerOptionsOf(line);
  if (!FormatOptionOf(line, options.format)) return 2;
  return RunWithManager(options.manager, [&options](tb::IManager* manager) {
    if (options.explain && !options.json) Explain(manager, options.name);
    // Everything of the plug-ins' is let go inside Open: the proxy lives no longer.
    return Open(manager, options);
  });
}

}  // namespace host
