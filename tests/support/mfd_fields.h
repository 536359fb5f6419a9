// The MFD base's protected fields, read as the host does from inside: what size the host gave
// an instrument.
#pragma once

#include "host/mfd.h"

namespace test {

struct MfdFields : MFD {
    static DWORD width(const MFD& mfd) { return mfd.*(&MfdFields::W); }
    static DWORD height(const MFD& mfd) { return mfd.*(&MfdFields::H); }
};

}  // namespace test
