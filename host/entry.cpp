// The exported entry. VSTPluginMain is what current hosts look up; `main` is
// the same function under its historical name (an ELF alias below, an export
// alias in the Windows module definition file).
#include "host/entry.h"

#if defined(_WIN32)
#include <windows.h>
#define KLV_EXPORT
#else
#define KLV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KLV_EXPORT klv::AEffect* KLV_CALL VSTPluginMain(klv::AudioMasterCallback audioMaster) {
    return klv::pluginMain(audioMaster);
}

#if !defined(_WIN32)
// C++ does not let a function called main return a pointer, so the second
// name is given to the same address at assembly level.
asm(".globl main\n.type main, @function\n.set main, VSTPluginMain");
#else
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    klv::moduleInstance = instance;
    return TRUE;
}
#endif
