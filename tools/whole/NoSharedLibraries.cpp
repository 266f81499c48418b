// The shared libraries of the batch tool linked whole (the C library in it): such a program
// cannot load the system's libraries safely, as they bring a C library of their own, so it
// loads none. Its main hands every run that needs one (a sound file libsndfile decodes, a run
// that measures loudness) to the build that loads them before the run starts; should a run
// get here all the same, the library is missing, with that news.
//
// These definitions stand in for framework/SharedLibrary.cpp: linked before the sound core's
// archive, they leave its loader out of the program, and dlopen with it.

#include "framework/SharedLibrary.h"

TSharedLibrary::TSharedLibrary(const char* name) : FName(name), FHandle(nullptr)
{
    Fail();
}

bool TSharedLibrary::Loads()
{
    return false;
}

void* TSharedLibrary::Find(const char*)
{
    return nullptr;
}

void TSharedLibrary::Fail()
{
    FError = "The library " + FName + " cannot be loaded by jeerbox-convert linked whole.";
}
