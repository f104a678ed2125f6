// A zip library that lacks UnzDllExec, for the loader's missing-entry test.
#include "unzipdll_api.h"

extern "C" UNZIPDLL_API int32_t UNZIPDLL_CALL GetUnzDllVersion() { return 1; }
