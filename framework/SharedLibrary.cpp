#include "framework/SharedLibrary.h"

#include <dlfcn.h>

TSharedLibrary::TSharedLibrary(const char* name) : FName(name), FHandle(::dlopen(name, RTLD_NOW | RTLD_LOCAL))
{
    if (!FHandle)
        Fail();
}

void* TSharedLibrary::Find(const char* symbol)
{
    void* found = FHandle ? ::dlsym(FHandle, symbol) : nullptr;
    if (!found && Ok())
        Fail();
    return found;
}

void TSharedLibrary::Fail()
{
    const char* why = ::dlerror();
    FError = "The library " + FName + " cannot be loaded" + (why ? std::string(": ") + why : std::string("."));
}
