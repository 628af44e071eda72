// Tunebay SDK: everything a host or plug-in compiles against.
#ifndef TUNEBAY_TUNEBAY_H
#define TUNEBAY_TUNEBAY_H

#include "types.h"
#include "error.h"
#include "source.h"
#include "component.h"
#include "encoder.h"
#include "manager.h"

#endif  // TUNEBAY_TUNEBAY_H
