// The sound devices' library, loaded when the program first opens a sound device rather than
// before main. Linked in, it brought the sound servers' client libraries and a dozen more
// with it, and loading them delayed the workbench window before anyone could see it.
// These are the calls the SDL driver makes, each going on to the library's own function;
// without the library, audio does not start and the devices report it as they report a
// machine without sound.
#include "framework/SharedLibrary.h"

#include <SDL2/SDL.h>
#include <cstring>

namespace {

struct TLoaded {
    TSharedLibrary Library{"libSDL2-2.0.so.0"};
    decltype(&SDL_SetHint) SetHint = nullptr;
    decltype(&SDL_InitSubSystem) InitSubSystem = nullptr;
    decltype(&SDL_QuitSubSystem) QuitSubSystem = nullptr;
    decltype(&SDL_OpenAudioDevice) OpenAudioDevice = nullptr;
    decltype(&SDL_CloseAudioDevice) CloseAudioDevice = nullptr;
    decltype(&SDL_PauseAudioDevice) PauseAudioDevice = nullptr;
    decltype(&SDL_GetAudioDeviceStatus) GetAudioDeviceStatus = nullptr;
    decltype(&SDL_GetCurrentAudioDriver) GetCurrentAudioDriver = nullptr;

    TLoaded()
    {
        Library.Bind(SetHint, "SDL_SetHint");
        Library.Bind(InitSubSystem, "SDL_InitSubSystem");
        Library.Bind(QuitSubSystem, "SDL_QuitSubSystem");
        Library.Bind(OpenAudioDevice, "SDL_OpenAudioDevice");
        Library.Bind(CloseAudioDevice, "SDL_CloseAudioDevice");
        Library.Bind(PauseAudioDevice, "SDL_PauseAudioDevice");
        Library.Bind(GetAudioDeviceStatus, "SDL_GetAudioDeviceStatus");
        Library.Bind(GetCurrentAudioDriver, "SDL_GetCurrentAudioDriver");
    }
};

// Kept to the very end of the run, past the static objects that may still close a device.
const TLoaded* Sdl()
{
    static const TLoaded& loaded = *new TLoaded;
    return loaded.Library.Ok() ? &loaded : nullptr;
}

}

extern "C" {

// SDL_zero's, which needs nothing of the library.
void* SDL_memset(SDL_OUT_BYTECAP(len) void* dst, int c, size_t len)
{
    return std::memset(dst, c, len);
}

SDL_bool SDL_SetHint(const char* name, const char* value)
{
    return Sdl() ? Sdl()->SetHint(name, value) : SDL_FALSE;
}

int SDL_InitSubSystem(Uint32 flags)
{
    return Sdl() ? Sdl()->InitSubSystem(flags) : -1;
}

void SDL_QuitSubSystem(Uint32 flags)
{
    if (Sdl())
        Sdl()->QuitSubSystem(flags);
}

SDL_AudioDeviceID SDL_OpenAudioDevice(const char* device, int iscapture, const SDL_AudioSpec* desired,
                                      SDL_AudioSpec* obtained, int allowed_changes)
{
    return Sdl() ? Sdl()->OpenAudioDevice(device, iscapture, desired, obtained, allowed_changes) : 0;
}

void SDL_CloseAudioDevice(SDL_AudioDeviceID dev)
{
    if (Sdl())
        Sdl()->CloseAudioDevice(dev);
}

void SDL_PauseAudioDevice(SDL_AudioDeviceID dev, int pause_on)
{
    if (Sdl())
        Sdl()->PauseAudioDevice(dev, pause_on);
}

SDL_AudioStatus SDL_GetAudioDeviceStatus(SDL_AudioDeviceID dev)
{
    return Sdl() ? Sdl()->GetAudioDeviceStatus(dev) : SDL_AUDIO_STOPPED;
}

const char* SDL_GetCurrentAudioDriver(void)
{
    return Sdl() ? Sdl()->GetCurrentAudioDriver() : nullptr;
}
}
