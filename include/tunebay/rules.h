// Tunebay SDK extension: the library's own rules, for hosts.
//
// A host that shows or edits what the manager does (a settings page, a tool that
// explains why a file opened as it did) needs the rules the manager follows: how a
// component is keyed in the user's decoder order, how a source name is classified,
// which decoders a search offers a file to and in which pass, and which settings the
// store holds. Worked out again in the host, such a rule drifts from the library's;
// IManagerRules hands out the library's own. The manager answers it through
// QueryInterface like its other secondary interfaces, on the same identity and count.
//
// An extension of ours: a host that does not ask for it loses nothing.
#ifndef TUNEBAY_RULES_H
#define TUNEBAY_RULES_H

#include "component.h"

namespace tb {

/// Size of the buffer that IManagerRules::GetComponentKey fills, with its terminating
/// zero: a module file name (kOriginNameSize), "*" and a decimal index fit.
const int kComponentKeySize = 280;

/// Source name kinds, as IManagerRules::ClassifySourceName answers them.
enum SourceNameClass : int32_t {
  kSourceNameBad = 0,    ///< absent, empty, relative, or of no kind below: never searched
  kSourceNameLocal = 1,  ///< a drive path ("C:\x") or a UNC path ("\\server\share")
  kSourceNameHttp = 2,   ///< an http URL, fetched by a downloader first
  kSourceNameFtp = 3,    ///< an ftp URL, fetched by a downloader first
};

/// How a search treats a decoder, as IManagerRules::GetDecoderPass answers: the pass it
/// is offered the name in, or why it is never asked.
enum DecoderPass : int32_t {
  kDecoderPassListed = 0,     ///< pass 0: the decoder lists the extension
  kDecoderPassOthers = 1,     ///< pass 1: it does not
  kDecoderNoOpener = -1,      ///< offers no ISourceOpener
  kDecoderOpensNothing = -2,  ///< its opener lacks kCapabilityOpensSources
  kDecoderNoExtensions = -3,  ///< offers no IExtensionList
  kDecoderMasksExclude = -4,  ///< its feature mask fails the required or excluded mask
};

/// Settings of the store, as IManagerRules::GetStoredSetting reads them.
enum StoredSetting : int32_t {
  kSettingArtistTitleSource = 1,          ///< "ArtistTitleSource"
  kSettingArtistTitleFileNameFormat = 2,  ///< "ArtistTitle_FileNameFormat"
};

struct IManagerRules : public IUnknown {
  /// Writes the key under which the user's decoder order stores `component` into
  /// `key` (`size` bytes, zero-terminated): its class identifier in lower case without
  /// braces when it reports one through IComponentIdentity (the last two groups are
  /// formatted from bytes 8-9, 10-11 and 12-15 read as little-endian numbers, unlike
  /// registry text; stored orders depend on that), else "<module file name>*<index>" from its
  /// catalogue origin ("*0" for a component not in the catalogue). False, `key` untouched, for a
  /// null `key` or a `size` too small for the key (kComponentKeySize always suffices).
  virtual bool TB_STDCALL GetComponentKey(IComponent* component, char* key, int32_t size) = 0;

  /// What kind of source name `name` is (SourceNameClass); null is kSourceNameBad.
  virtual int32_t TB_STDCALL ClassifySourceName(const char* name) = 0;

  /// Writes the extension that the decoders' extension lists are compared with for the
  /// file name or path `name` (after the last "." of the last path part, without the
  /// dot; empty when there is none) into `extension` (`size` bytes, zero-terminated).
  /// For a URL the search compares the downloader's local copy instead. False,
  /// `extension` untouched, for a null argument or a `size` too small.
  virtual bool TB_STDCALL GetSearchExtension(const char* name, char* extension, int32_t size) = 0;

  /// Where a search for a file with extension `extension` (as GetSearchExtension gives
  /// it; null counts as none) under OpenSource's `requiredMask` and `excludedMask`
  /// offers the name to `decoder` (DecoderPass). Decoders are asked in the user's order
  /// (ISourceOrder::GetOrderedComponents), pass 0 before pass 1.
  virtual int32_t TB_STDCALL GetDecoderPass(IComponent* decoder, const char* extension,
                                            uint32_t requiredMask, uint32_t excludedMask) = 0;

  /// Reads `setting` (StoredSetting) from the store under the manager's current
  /// registry location into `*value`. False, `*value` untouched, when none is stored,
  /// for an unknown setting or a null `value`.
  virtual bool TB_STDCALL GetStoredSetting(int32_t setting, int32_t* value) = 0;
};

}  // namespace tb

TB_DECLARE_IID(IManagerRules, "DDEF502C-510F-4D0C-80C2-47B9B18D9F14", 0xDDEF502C, 0x510F, 0x4D0C,
               0x80, 0xC2, 0x47, 0xB9, 0xB1, 0x8D, 0x9F, 0x14)

#endif  // TUNEBAY_RULES_H
