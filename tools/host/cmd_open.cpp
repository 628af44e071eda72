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
#include "plugin_report.h"

namespace host {

namespace {

const CommandHelp kOpenHelp = {
    "usage: tunebay-host open NAME [--format RATE:BITS:CHANNELS] [--explain]\n"
    "                              [--plugins DIR] [--keys NAME1 NAME2]\n"
    "\n"
    "Opens NAME (a full file path, a UNC path, or an http or ftp URL) through the\n"
    "manager's decoders, wrapped in the manager's proxy, and prints the format the\n"
    "proxy presents, the length, and the title and artist as the user's artist/title\n"
    "setting gives them. Then releases the source and finishes.\n"
    "\n"
    "  --format R:B:C       the format to present: sample rate, bits per sample and\n"
    "                       channels (default: the source's own); a different format is\n"
    "                       converted by the manager's convertor when the source starts\n"
    "  --explain            first print, from the user's decoder order and each\n"
    "                       decoder's extension list, the order in which the decoders\n"
    "                       will be tried and in which pass\n",
    "\n"
    "Exit status: 0 when the source opened, 1 when it did not or the manager failed,\n"
    "2 for bad arguments.\n"};

struct Options {
  bool help = false;
  bool explain = false;
  bool hasFormat = false;
  tb::AudioFormat format = {0, 0, 0};
  std::string name;
  ManagerOptions manager;
};

bool Parse(const Args& args, Options& options) {
  DefaultManagerOptions(options.manager);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--explain") {
      options.explain = true;
    } else if (arg == "--format" && i + 1 < args.size()) {
      if (!ParseFormatOption(args[++i], options.format)) return false;
      options.hasFormat = true;
    } else if (TakeManagerOption(args, i, options.manager)) {
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "error: unknown option or missing value: %s\n", arg.c_str());
      return false;
    } else if (options.name.empty()) {
      options.name = arg;
    } else {
      std::fprintf(stderr, "error: unexpected argument: %s\n", arg.c_str());
      return false;
    }
  }
  if (options.name.empty() && !options.help) {
    std::fprintf(stderr, "error: open needs the name of a file or URL\n");
    return false;
  }
  return true;
}

std::string Quoted(const char* text) { return std::string("\"") + (text ? text : "") + "\""; }

// ---- --explain ----------------------------------------------------------------------

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

int Open(tb::IManager* manager, const Options& options) {
  IUnknown* raw = nullptr;
  tb::com_ptr<tb::IError> error;
  const bool opened =
      manager->OpenSource(options.name.c_str(), options.hasFormat ? &options.format : nullptr, &raw,
                          -1, tb::kOpenWithProxy, 0, error.put());
  tb::com_ptr<IUnknown> source = tb::com_ptr<IUnknown>::adopt(raw);
  if (!opened) {
    if (source) {
      // A decoder opened it, but the proxy could not be built around its object.
      std::fprintf(stderr,
                   "error: %s opened, but the manager could not wrap it: the source "
                   "lacks an interface the proxy needs, or its format describes no "
                   "audio\n",
                   options.name.c_str());
    } else {
      PrintError(manager, error.get(), ("opening " + options.name).c_str());
      PrintDecoderAttempts(manager);
      if (options.hasFormat && error && error->GetCode() == tb::result::InvalidParameter) {
        std::fprintf(stderr,
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
  std::printf("Opened %s\n", options.name.c_str());
  tb::AudioFormat presented = {0, 0, 0}, own = {0, 0, 0};
  if (data) data->GetFormat(&presented);
  if (original) original->GetSourceFormat(&own);
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

int CommandOpen(const Args& args) {
  Options options;
  if (!Parse(args, options)) return ShowHelpForBadArguments(kOpenHelp);
  if (options.help) return ShowHelp(kOpenHelp);
  return RunWithManager(options.manager, [&options](tb::IManager* manager) {
    if (options.explain) Explain(manager, options.name);
    // Everything of the plug-ins' is let go inside Open: the proxy lives no longer.
    return Open(manager, options);
  });
}

}  // namespace host
