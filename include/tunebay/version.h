/* Tunebay SDK: the version of these headers and of the binaries built with them.
 *
 * TUNEBAY_SDK_VERSION packs major, minor and patch into one number that compares in
 * order (1.2.3 is 0x010203), for #if checks in hosts and plug-ins:
 *
 *   #if TUNEBAY_SDK_VERSION < TUNEBAY_SDK_MAKE_VERSION(1, 1, 0)
 *
 * A new minor version only adds (interfaces, identifiers, constants); a new major
 * version may change the binary contract. Only #defines live here, so resource
 * scripts and C include this file too. */
#ifndef TUNEBAY_VERSION_H
#define TUNEBAY_VERSION_H

#define TUNEBAY_SDK_VERSION_MAJOR 1
#define TUNEBAY_SDK_VERSION_MINOR 0
#define TUNEBAY_SDK_VERSION_PATCH 0

/** Packs a version into one comparable number: 0x00MMmmpp. */
#define TUNEBAY_SDK_MAKE_VERSION(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))

/** This SDK's version as one number. */
#define TUNEBAY_SDK_VERSION                                                      \
  TUNEBAY_SDK_MAKE_VERSION(TUNEBAY_SDK_VERSION_MAJOR, TUNEBAY_SDK_VERSION_MINOR, \
                           TUNEBAY_SDK_VERSION_PATCH)

#define TUNEBAY_SDK_STRINGIFY_(x) #x
#define TUNEBAY_SDK_STRINGIFY(x) TUNEBAY_SDK_STRINGIFY_(x)

/** This SDK's version as text, "1.0.0". */
#define TUNEBAY_SDK_VERSION_STRING                                                \
  TUNEBAY_SDK_STRINGIFY(TUNEBAY_SDK_VERSION_MAJOR)                                \
  "." TUNEBAY_SDK_STRINGIFY(TUNEBAY_SDK_VERSION_MINOR) "." TUNEBAY_SDK_STRINGIFY( \
      TUNEBAY_SDK_VERSION_PATCH)

#endif /* TUNEBAY_VERSION_H */
