// A DLL the Wine tests copy to a folder of their own and have the child
// load: a file held as a loaded image, with no handle to it.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI LxPlugin() { return 1; }
