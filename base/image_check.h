// Why a library does not load, worked out from its file: the executable image reader
// (base/pe_image.h) applied to the library and to the libraries it imports, found
// where the loader would look for them. Shared by the manager's scan records and the
// host tool's doctor.
#ifndef TB_BASE_IMAGE_CHECK_H
#define TB_BASE_IMAGE_CHECK_H

#include <string>
#include <vector>

#include "base/pe_image.h"

namespace tb {

/// Reads the image file at `path` (at most 256 MiB). False, with `problem` set in
/// `image`, when the file cannot be read.
bool ReadImageFile(const std::string& path, PeImage& image);

/// An import that the loader cannot satisfy: a library it cannot find (`function`
/// empty), or a function that a found library does not export. `neededBy` names the
/// image that imports it: the checked library itself or one of its dependencies.
struct UnresolvedImport {
  std::string neededBy;
  std::string library;
  std::string function;
};

/// The imports of the image at `path` (already read into `image`) that cannot be
/// resolved, following found libraries outside the system folders a few levels deep.
/// Libraries are looked for in `path`'s folder first, then along the process's search
/// path (which includes the current directory).
std::vector<UnresolvedImport> FindUnresolvedImports(const std::string& path, const PeImage& image);

/// One sentence on an unresolved import: "needs zqhelp.dll, which is not found" or
/// "needs HelperRun from zqhelp.dll, which does not export it".
std::string DescribeUnresolvedImport(const UnresolvedImport& import);

/// Why loading the library at `path` failed with system error `error`, from its file
/// where the file tells (another machine, not an image, a missing dependency), else
/// the system's message for the error. One line, no full stop.
std::string ExplainLoadFailure(const std::string& path, unsigned long error);

/// The system's message for `error` on one line, or "system error N".
std::string SystemErrorText(unsigned long error);

}  // namespace tb

#endif  // TB_BASE_IMAGE_CHECK_H
