// Everything the simulated machine declares of the Win32 API, in one include.
#pragma once
#include "simwin/base.h"
#include "simwin/strings.h"
#include "simwin/registry.h"
#include "simwin/files.h"
#include "simwin/modules.h"
#include "simwin/messages.h"
#include "simwin/security.h"
#include "simwin/guid.h"
#include "simwin/setupapi.h"
#include "simwin/cfgmgr32.h"
#include "simwin/setupapi_store.h"
#include "simwin/newdev.h"
