// The simulator's base class of a multi-function-display instrument. In a simulator build MFD is the SDK's;
// otherwise this file declares it with the SDK's signatures, and the host implements the non-virtual members
// and the defaults of the virtual ones.
#pragma once

#include "host/gdi.h"
#include "host/oapi.h"

#ifdef KESTRANE_SIMULATOR_SDK_BUILD
#include <MFDAPI.h>
#else
class OAPIFUNC MFD {
public:
    MFD(DWORD w, DWORD h, VESSEL* vessel);
    virtual ~MFD();
    MFD(const MFD&) = delete;
    MFD& operator=(const MFD&) = delete;

    virtual void Update(HDC hDC) = 0;
    virtual bool ConsumeKeyBuffered(DWORD key);
    virtual bool ConsumeKeyImmediate(char* kstate);
    virtual bool ConsumeButton(int bt, int event);
    virtual char* ButtonLabel(int bt);
    virtual int ButtonMenu(const MFDBUTTONMENU** menu) const;
    virtual void WriteStatus(FILEHANDLE scn) const;
    virtual void ReadStatus(FILEHANDLE scn);
    virtual void StoreStatus() const;
    virtual void RecallStatus();

    void InvalidateDisplay();                      // asks the host to redraw this display
    void Title(HDC hDC, const char* title) const;  // title on row 0; the position stays behind it

protected:
    DWORD W, H;    // display size, pixels
    DWORD cw, ch;  // character cell size, pixels
    VESSEL* pV;    // the vessel the display belongs to

private:
    void* hostDisplay;  // the host's own record of the display
};
#endif

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(MFD) == 28);
#else
static_assert(sizeof(MFD) == 40);
#endif
