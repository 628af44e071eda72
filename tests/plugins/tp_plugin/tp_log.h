// What the test plug-ins (tp_*.dll) tell the tests: one line per call made on them,
// "<module base name> <event> [<component>]", appended to a block that the test
// program owns. The test puts the block's address into the environment variable
// TP_LOG as "%p"; a plug-in that finds no address logs nothing.
//
// Lines: "attach", "detach live=<n>" (components not yet destroyed), "primary",
// "ready", "setup <name>", "shutdown <name>", "destroy <name>", "query <name>
// convertor|downloader", "overrelease <name>", "busy <name> refs=<n>".
//
// The plug-in's behaviour comes from two more variables, named after its base name,
// so that one DLL copied under several names makes several different plug-ins:
//   TP_TREE_<base>: its primary object. An item is "<kind>:<name><flags>" or a
//     collection "[item,item,...]" (named coll0, coll1, ... in order of creation).
//     Flags: '!' Setup fails; '^' Setup fails and reports an error object; '+' Setup
//     succeeds and still reports an error object; '~' a convertor or downloader that
//     does not offer its interface. Default: one decoder named after the module.
//   TP_MODE_<base>: comma-separated tokens: primary=false|null|av|raise|throw|chdir|hang|failfast,
//     ready=false|av|av-once|raise|throw|sole ("sole": ready only while every component
//     is held by exactly one reference; "throw": a C++ exception escapes),
//     reenter=initialise|finish (the manager's Initialise or Finish called from Setup,
//     ReadyToFinish and Shutdown, each call logged with its result and last error).
#ifndef TB_TESTS_PLUGINS_TP_LOG_H
#define TB_TESTS_PLUGINS_TP_LOG_H

#include <windows.h>

struct TpLog {
  volatile LONG length;
  char text[64 * 1024];
};

#endif  // TB_TESTS_PLUGINS_TP_LOG_H
