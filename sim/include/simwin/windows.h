// Everything the simulated machine declares of the Win32 API, in one include.
#pragma once
#include "simwin/base.h"
#if __has_include("simwin/registry.h")
#include "simwin/registry.h"
#endif
#if __has_include("simwin/files.h")
#include "simwin/files.h"
#endif
#if __has_include("simwin/modules.h")
#include "simwin/modules.h"
#endif
#if __has_include("simwin/messages.h")
#include "simwin/messages.h"
#endif
