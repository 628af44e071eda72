// Which decoders the manager will offer a source to, in which pass, and which one
// opened it. The manager does not say which decoder opened a source, so a host works
// it out the way the manager searches: the user's decoder order, those that list the
// file's extension first.
#ifndef TB_TOOLS_HOST_DECODER_PLAN_H
#define TB_TOOLS_HOST_DECODER_PLAN_H

#include <string>
#include <vector>

#include "host_support.h"

namespace host {

/// One decoder of the user's order, as the search will treat it.
struct DecoderCandidate {
  ComponentLabel label;
  std::string extensions;  // the listed extensions, separated by spaces
  bool lists = false;      // lists the file's extension: offered in pass 0
  std::string skipped;     // why the decoder will not be asked at all, or empty
};

/// The extension the manager will compare for source name `name`. For a URL that is
/// the local copy's, assumed here to be the URL's; `note` then says so. False (with
/// the reason in `note`) for a name the manager will not search for at all.
bool SearchExtensionOf(tb::IManager* manager, const std::string& name, std::string& extension,
                       std::string& note);

/// The decoders in the user's order, each described for a file with `extension`, as
/// they are asked for a source wrapped in the proxy. False when the manager gives no
/// decoder list.
bool ListDecoders(tb::IManager* manager, const std::string& extension,
                  std::vector<DecoderCandidate>& candidates);

/// The path of the file behind an open source (for a URL: the downloader's local
/// copy), or empty when it does not say. `source` may be the manager's proxy.
std::string FilePathOf(IUnknown* source);

/// Which decoder opened `source` (a source object or the manager's proxy around one),
/// as a line for the user. The library the source's code lives in identifies the
/// decoder exactly when that library has one decoder; otherwise the text says what it
/// is based on.
std::string IdentifyDecoder(tb::IManager* manager, IUnknown* source);

}  // namespace host

#endif  // TB_TOOLS_HOST_DECODER_PLAN_H
