// WinINet, bound at the first download: it brings the window system and the shell with
// it, which every process that loads the plug-in would otherwise start (a few
// hundredths of a second under Wine) whether it downloads or not.
#include <windows.h>
#include <wininet.h>

#include "base/lazy_import.h"

namespace {
constexpr wchar_t kWinInet[] = L"wininet.dll";
}  // namespace

TB_LAZY_IMPORT(kWinInet, FtpOpenFileA, "FtpOpenFileA@20")
TB_LAZY_IMPORT(kWinInet, HttpOpenRequestA, "HttpOpenRequestA@32")
TB_LAZY_IMPORT(kWinInet, HttpQueryInfoA, "HttpQueryInfoA@20")
TB_LAZY_IMPORT(kWinInet, HttpSendRequestA, "HttpSendRequestA@20")
TB_LAZY_IMPORT(kWinInet, InternetCloseHandle, "InternetCloseHandle@4")
TB_LAZY_IMPORT(kWinInet, InternetCombineUrlA, "InternetCombineUrlA@20")
TB_LAZY_IMPORT(kWinInet, InternetConnectA, "InternetConnectA@32")
TB_LAZY_IMPORT(kWinInet, InternetCrackUrlA, "InternetCrackUrlA@16")
TB_LAZY_IMPORT(kWinInet, InternetGetLastResponseInfoA, "InternetGetLastResponseInfoA@12")
TB_LAZY_IMPORT(kWinInet, InternetOpenA, "InternetOpenA@20")
TB_LAZY_IMPORT(kWinInet, InternetReadFile, "InternetReadFile@16")
TB_LAZY_IMPORT(kWinInet, InternetSetOptionA, "InternetSetOptionA@16")
