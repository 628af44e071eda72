/* The two entry points and nothing behind them: the primary object is refused. Built
   as the 64-bit library of the doctor's end-to-end test, which no 32-bit process can
   load, and (with TB_NEEDS_HELPER) as a library whose dependency is absent. */
#include <stdbool.h>

#ifdef TB_NEEDS_HELPER
__declspec(dllimport) int tb_absent_helper_value(void);
#endif

__declspec(dllexport) bool ORVA_PLUGIN_GetPrimaryAudioObject(void** out) {
  *out = 0;
#ifdef TB_NEEDS_HELPER
  return tb_absent_helper_value() > 1;
#else
  return false;
#endif
}

__declspec(dllexport) bool ORVA_PLUGIN_ReadyToFinish(void) { return true; }
