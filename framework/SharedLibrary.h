#pragma once

#include <string>

// A shared library loaded when a run first needs it rather than before main: most of a short
// run's time goes to loading libraries, and some are needed only by some runs. Never unloaded.
class TSharedLibrary {
public:
    explicit TSharedLibrary(const char* name);

    // Looks a function up by its symbol; a missing one makes the library fail.
    template <typename Call>
    void Bind(Call& call, const char* symbol)
    {
        call = reinterpret_cast<Call>(Find(symbol));
    }

    bool Ok() const { return FError.empty(); }
    // Why the library or one of its functions cannot be had.
    const std::string& Error() const { return FError; }

private:
    void* Find(const char* symbol);
    void Fail();

    std::string FName;
    void* FHandle;
    std::string FError;
};
