/* A library of the same file name as absent_helper.dll that lacks the function the
   test plug-in imports from it: put beside needs_helper.dll, the import does not
   resolve. */
__declspec(dllexport) int tb_other_helper_value(void) { return 3; }
