// Everything the module may call on its host.
#pragma once

#include "host/callbacks.h"
#include "host/gdi.h"
#include "host/mfd.h"
#include "host/oapi.h"
#include "host/vessel.h"
