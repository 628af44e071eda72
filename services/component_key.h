// Component keys: the texts by which components are remembered in the stored decoder
// order.
#ifndef TB_SERVICES_COMPONENT_KEY_H
#define TB_SERVICES_COMPONENT_KEY_H

#include <cstdint>
#include <string>

namespace tb {

/// Size of a component's class identifier in bytes.
constexpr int kClassIdSize = 16;

/// The key of a component that reports its class identifier: the 16 raw identifier
/// bytes (as they lie in memory) formatted as "%08x-%04x-%04x-%04x-%04x%08x" from the
/// first 32-bit field, the two 16-bit fields, then bytes 8-9 and 10-11 each read as a
/// little-endian 16-bit number and bytes 12-15 as a little-endian 32-bit number, in
/// lower case. The last two groups therefore differ from the usual registry form of
/// an identifier; stored orders depend on this exact text, so it must not be "fixed".
/// Example: 01234567-89AB-CDEF-0123-456789ABCDEF gives
/// "01234567-89ab-cdef-2301-6745efcdab89". `id` must point to 16 readable bytes.
std::string IdentityKey(const unsigned char id[kClassIdSize]);

/// The key of a component without a class identifier: "<module file name>*<index>"
/// from its origin record. A null module name counts as empty, so a component with
/// no origin record (empty name, index 0) has the key "*0".
std::string OriginKey(const char* moduleFileName, std::int32_t index);

}  // namespace tb

#endif  // TB_SERVICES_COMPONENT_KEY_H
