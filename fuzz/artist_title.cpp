// Fuzz target: the artist/title rule. The first two bytes choose the two settings, the
// rest is the source's file path. Checks the rule's invariants on every input.
#include "sources/artist_title.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "sources/source_name.h"

namespace {

bool Trimmed(const std::string& text) {
  return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::int32_t source = data[0] % 4;
  const std::int32_t layout = data[1] % 4;
  const std::string path(reinterpret_cast<const char*>(data + 2), size - 2);

  const tb::ArtistTitle got =
      tb::ApplyArtistTitleRule(nullptr, nullptr, true, source, layout, path.c_str());
  if (!Trimmed(got.artist) || !Trimmed(got.title)) std::abort();

  const std::string name = tb::SplitPathName(path.c_str()).name;
  if (got.artist.size() + got.title.size() > name.size()) std::abort();
  const int delimiter = tb::ChooseDelimiter(name);
  if (delimiter != tb::kNoDelimiter) {
    if (delimiter >= 0x80 || name.find(static_cast<char>(delimiter)) == std::string::npos) {
      std::abort();
    }
  }
  // The parts are pieces of the name: nothing is invented, only delimiters dropped.
  const tb::NameParts parts = tb::SplitAtDelimiter(name, delimiter);
  if (name.compare(0, parts.first.size(), parts.first) != 0) std::abort();
  if (name.size() < parts.second.size() ||
      name.compare(name.size() - parts.second.size(), parts.second.size(), parts.second) != 0) {
    std::abort();
  }

  // A block that gives both texts is kept untouched unless the name is wanted.
  const tb::ArtistTitle kept = tb::ApplyArtistTitleRule(
      " t ", " a ", true, tb::kArtistTitleFromBlockOrName, layout, path.c_str());
  if (kept.artist != " a " || kept.title != " t ") std::abort();
  return 0;
}
