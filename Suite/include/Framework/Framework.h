#pragma once

// The suite's framework library: serves the web client over HTTP and
// WebSocket and passes the client's requests (close, reboot, language,
// skin) back to the host through the callbacks handed to it.
//
// The servers run on a thread of the library's own; every callback is
// invoked from that thread, never from the caller's thread. All functions
// may be called from the host's main thread while that thread runs.

#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(FRAMEWORK_LIBRARY_BUILD)
#define FRAMEWORK_API __declspec(dllexport)
#else
#define FRAMEWORK_API __declspec(dllimport)
#endif
#else
#define FRAMEWORK_API __attribute__((visibility("default")))
#endif

// A host function called with the user pointer it was registered with.
typedef void (*FrameworkHostCallback)(void* user);
// A host function called with a skin name and the registered user pointer;
// false when the host cannot apply that skin.
typedef bool (*FrameworkSkinCallback)(const char* skinName, void* user);
// Called with a language index; false when the host cannot apply it.
typedef std::function<bool(int)> FrameworkLanguageCallback;

// Reads the configuration (framework HTTP port, video wall port, WebSocket
// port) and writes a fresh control token. False when the configuration
// cannot be read or holds a port outside 1..65535.
FRAMEWORK_API bool initFrameworkFirst();
// Starts the web client's HTTP server on the HTTP port.
FRAMEWORK_API bool initFrameworkSecond();
// Starts the WebSocket server on the WebSocket port.
FRAMEWORK_API bool initFrameworkLast();
// Stops both servers and releases their ports. Harmless when repeated or
// when nothing was initialised.
FRAMEWORK_API void uninitFramework();

FRAMEWORK_API void setRebootCallback(FrameworkHostCallback fn, void* user);
FRAMEWORK_API void setCloseCallback(FrameworkHostCallback fn, void* user);
FRAMEWORK_API void setDelayCloseCallback(FrameworkHostCallback fn, void* user);
// The skin and language callbacks are handed, once set while the library
// runs, the skin and language the web client set last (kept across starts).
FRAMEWORK_API void setRegisterRccCallback(FrameworkSkinCallback fn, void* user);
FRAMEWORK_API void setLanguageCallback(FrameworkLanguageCallback fn);

// One service of the host as it was started: its name and port, and, when
// the start moved it off a held port, that port and the program that held it
// (empty when unknown).
struct FrameworkService
{
    std::string name;
    int port = 0;
    int movedFrom = 0; // 0: not moved
    std::string heldBy;
};
// The host's product name and services, which the web client's page lists,
// each with whether its port is served at the moment the page asks.
// Replaces what was handed before; until then the page lists the library's
// own servers.
FRAMEWORK_API void setHostServices(const std::string& productName, const std::vector<FrameworkService>& services);

// Switches the web client's texts to the language of the given index.
FRAMEWORK_API void reloadTranslations(int languageIndex);

// The web client's address on this machine ("http://127.0.0.1:16100/");
// empty before the configuration was read.
FRAMEWORK_API std::string frameworkClientUrl();
// Opens the web client's address in the desktop's browser; false when the
// desktop has nothing to open it with.
FRAMEWORK_API bool openFrameworkClient();
// Ends a running suite client process, if any.
FRAMEWORK_API bool closeFrameworkClient();

// Store a new HTTP / WebSocket port (decimal text) where
// initFrameworkFirst reads it.
FRAMEWORK_API bool setHttpPort2Xml(const std::string& port);
FRAMEWORK_API bool setWebSocketPort2Xml(const std::string& port);
