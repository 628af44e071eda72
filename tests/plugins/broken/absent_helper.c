/* A library that a test plug-in imports from and that the tests never copy beside
   it, so that the plug-in's dependency is missing. */
__declspec(dllexport) int tb_absent_helper_value(void) { return 2; }
