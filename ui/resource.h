// Identifiers of the dialogs, controls, strings and bitmap in ui.rc. Shared by the
// resource script and the dialog code, so plain macros.
#ifndef TB_UI_RESOURCE_H
#define TB_UI_RESOURCE_H

// "Audio Format Settings".
#define IDD_AUDIO_FORMAT_SETTINGS 6000
#define IDC_CONFIGURE 6001
#define IDC_ABOUT 6002
#define IDC_ARTIST_TITLE_SOURCE 6003
#define IDC_MOVE_UP 6004
#define IDC_MOVE_DOWN 6005
#define IDC_COMPONENT_LIST 6007
#define IDC_KIND_TABS 6008
#define IDC_NO_PLUGINS 6009

// The images of the component kinds: five 20 x 16 images on white.
#define IDB_COMPONENT_KINDS 6001

// "Get Artist/Title Information".
#define IDD_ARTIST_TITLE_SOURCE 6004
#define IDC_SOURCE_INFO_THEN_NAME 6004
#define IDC_SOURCE_INFO_ONLY 6007
#define IDC_SOURCE_NAME_ONLY 6008
#define IDC_FILE_NAME_FORMAT 6006

// Tab labels by kind index, then the list's column headings.
#define IDS_DECODERS 1
#define IDS_ENCODERS 2
#define IDS_CONVERTORS 3
#define IDS_DOWNLOADERS 4
#define IDS_PLUGIN_NAME 5
#define IDS_VENDOR 6
#define IDS_FILE_NAME 7

// The visual-styles manifest of the library's own resources.
#define IDR_VISUAL_STYLES_MANIFEST 2

#endif  // TB_UI_RESOURCE_H
