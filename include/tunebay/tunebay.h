// Tunebay SDK: everything a host or plug-in compiles against.
#ifndef TUNEBAY_TUNEBAY_H
#define TUNEBAY_TUNEBAY_H

#include "com_ptr.h"
#include "component.h"
#include "conversion.h"
#include "diagnostics.h"
#include "encoder.h"
#include "error.h"
#include "language.h"
#include "manager.h"
#include "rules.h"
#include "source.h"
#include "types.h"
#include "version.h"

#endif  // TUNEBAY_TUNEBAY_H
