// Source names: what kind of name the host passed, and the split of a local path into
// drive, directory, file name and extension.
#ifndef TB_SOURCES_SOURCE_NAME_H
#define TB_SOURCES_SOURCE_NAME_H

#include <string>

namespace tb {

enum class SourceNameKind {
  kBadPath,    // absent, empty, relative, or of no kind below
  kLocalFile,  // a drive path ("C:\x") or a UNC path ("\\server\share")
  kHttpUrl,
  kFtpUrl,
};

/// Classifies a source name. Scheme comparisons ignore ASCII letter case. A scheme
/// with nothing after it ("http://", "ftp://") and a bare drive root ("C:\") are bad
/// paths; so is a drive path with a forward slash. Only the ASCII letters A-Z and
/// a-z count as drive letters: in a multibyte code page a byte above 0x7F is never a
/// whole character, so such a name is a bad path. A null name is a bad path.
SourceNameKind ClassifySourceName(const char* name);

/// Buffer sizes of the classic C runtime's path split, each with its terminating zero.
constexpr int kDriveSize = 3;
constexpr int kDirectorySize = 256;
constexpr int kFileNameSize = 256;
constexpr int kExtensionSize = 256;

/// The parts of a split path. `extension` is kept without its leading dot.
struct PathParts {
  std::string drive;      // "C:" or empty
  std::string directory;  // up to and including the last separator
  std::string name;       // file name without directory and extension
  std::string extension;  // after the last "." of the file name, without the dot
};

/// Splits a path the way the C runtime's path split does: the first two characters
/// are the drive when the second is ":"; both "\" and "/" separate directories; the
/// last "." after the last separator starts the extension.
///
/// A part longer than its buffer would hold (size above, less the terminating zero;
/// for the extension the dot counts) is cut to fit, as the classic runtime does,
/// rather than failing: a name of 300 characters still yields its first 255. The
/// split is by bytes: a double-byte character whose second byte is "\" would be
/// split there. A null path gives empty parts.
PathParts SplitPathName(const char* path);

/// Whether a file's extension equals an extension that a component lists, ignoring
/// ASCII letter case. Neither may be empty or null: a file without an extension
/// matches no component, even one that lists an empty extension.
bool ExtensionsMatch(const char* fileExtension, const char* listedExtension);

}  // namespace tb

#endif  // TB_SOURCES_SOURCE_NAME_H
