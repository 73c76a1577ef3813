#include "globals.h"

TGlobalVars* GlobalVars = nullptr;
