// Tunebay SDK extension: ending a conversion's stream.
//
// A conversion that changes the sample rate cannot give out the last few milliseconds
// of what it was fed: each output frame needs input from after its own time, and
// IConversion has no way to say that no more input follows. A conversion that offers
// IConversionEnd gives that tail on request. The library's proxies ask for it when the
// source has delivered its last data (the source proxy) and before the sink's Stop (the
// sink proxy), so that a stream of N frames at rate F comes out as exactly
// ceil(N x T / F) frames at rate T, the end being the real signal.
//
// A conversion without it gets silence fed after the audio instead, and only the
// frames still owed are kept. That works for any conversion that treats its input as
// one stream, but the silence's own output has to be cut by counting; a conversion
// that knows where its stream ends is exact by construction.
//
// An extension of ours: a conversion that does not offer it loses nothing.
#ifndef TUNEBAY_CONVERSION_H
#define TUNEBAY_CONVERSION_H

#include "source.h"

namespace tb {

/// Optional on a conversion (the IConversion that IConvertor::CreateConversion makes),
/// reached by QueryInterface on it: one object, one reference count.
struct IConversionEnd : public IUnknown {
  /// Ends the stream. What the conversion still holds of the input fed so far is
  /// converted as if silence followed, up to the stream's last output frame, and
  /// becomes the conversion's output: IConversion::GetOutputSize and GetOutputData
  /// answer it as after a Convert, owned by the conversion and valid until its next
  /// Convert or EndStream. A partial input frame still waiting is dropped. Afterwards
  /// the conversion starts a new stream, as if just created.
  ///
  /// True on success, also when nothing was held (the output is then empty). False
  /// when the tail could not be made (out of memory): the output is then empty and the
  /// conversion has started a new stream all the same.
  ///
  /// Called on the thread that feeds the conversion, like Convert.
  virtual bool TB_STDCALL EndStream() = 0;
};

}  // namespace tb

TB_DECLARE_IID(IConversionEnd, "DAA64B97-B69E-48D3-A7B3-B093E169BFF4", 0xDAA64B97, 0xB69E, 0x48D3,
               0xA7, 0xB3, 0xB0, 0x93, 0xE1, 0x69, 0xBF, 0xF4)

#endif  // TUNEBAY_CONVERSION_H
