// The module's base of an instrument: the host asks for a drawing by Update, and the instrument
// draws in Repaint.
#pragma once

#include "host/mfd.h"

class InstrumentBase : public MFD {
public:
    InstrumentBase(DWORD w, DWORD h, VESSEL* vessel) : MFD(w, h, vessel) {}
    void Update(HDC hDC) final { Repaint(hDC); }
    virtual void Repaint(HDC hDC) = 0;
};
